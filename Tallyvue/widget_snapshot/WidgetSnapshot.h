// SPDX-License-Identifier: MIT
#pragma once

#include "model/FigureSource.h"
#include "model/ProviderMetric.h"
#include "model/Result.h"
#include "model/SafeFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>

#include <optional>

namespace tallyvue {

/// What the desktop widget shows: written whole by the app, read whole by the widget.
struct WidgetSnapshot
{
    QDateTime timestamp;
    QList<ProviderMetric> metrics;
    std::optional<QString> primaryMetricID;
    QuotaDisplayMode displayMode = QuotaDisplayMode::Used;
    /// Per provider (in AIProvider order): the agent whose figures stand in for its service.
    std::array<std::optional<FigureSource>, 3> sources{};

    friend bool operator==(const WidgetSnapshot&, const WidgetSnapshot&) = default;
};

/// $XDG_DATA_HOME/K2V8R4NW7T.com.tallyvue.shared/widgetSnapshot.json, shared with the widget;
/// nothing when the platform has no data folder.
std::optional<QString> widgetSnapshotPath();

QByteArray encodeWidgetSnapshot(const WidgetSnapshot& snapshot);
/// The widget's reading rules: required keys present, known provider and mode, dates in the
/// internet date-time form; anything else rejects the whole file.
std::optional<WidgetSnapshot> decodeWidgetSnapshot(const QByteArray& json);

/// One metric in the snapshot's JSON form (also what `tallyvue-cli fetch --json` prints), with
/// "source" and "sourceAsOf" when an agent's figures stand in for the provider's service.
QByteArray encodeMetric(const ProviderMetric& metric, const std::optional<FigureSource>& source = std::nullopt);

/// Writes the snapshot atomically (mode 0600, in a folder created 0700); nothing on success, else
/// what failed, with the old file left as it was.
std::optional<QString> writeWidgetSnapshotFile(const WidgetSnapshot& snapshot);
/// The snapshot file, read as a regular file of at most a few MiB and decoded; else why not.
Result<WidgetSnapshot, safefile::ReadError> readWidgetSnapshotFile();
/// Tells a running widget to reload. On Linux the widget watches the file, so this is a no-op hook.
void reloadWidgetTimelines();

} // namespace tallyvue
