// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

class QTextStream;

namespace tallyvue::cli {

/// Each command gets the arguments after its own name and returns the process exit code:
/// 0 success, 1 the command ran but found nothing usable, 2 bad usage.
int runFetch(const QStringList& args);
int runStatus(const QStringList& args);
int runHistory(const QStringList& args);
int runLocal(const QStringList& args);
int runReport(const QStringList& args);
int runAlert(const QStringList& args);
int runStatusline(const QStringList& args);

/// Each command's own usage, printed for "<command> --help".
extern const char kFetchUsage[];
extern const char kStatusUsage[];
extern const char kHistoryUsage[];
extern const char kLocalUsage[];
extern const char kAlertUsage[];
extern const char kStatuslineUsage[];

/// Whether snapshot figures `ageSeconds` old are no longer current: older than two refresh
/// intervals, or one when Tallyvue is not running.
bool isSnapshotStale(qint64 ageSeconds);

/// "Looked in:" and the transcript folders, each marked when it does not exist: nothing
/// found is often the wrong folder.
void printSourceFolders(QTextStream& out);

/// Prints `message` and the usage to standard error; returns 2.
int usageError(const QString& message);

} // namespace tallyvue::cli
