// SPDX-License-Identifier: MIT
#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tallyvue::safefile {

/// Bounds for whole-file reads: the history, and the small files (widget snapshot, credentials).
inline constexpr qint64 kMaxHistoryBytes = 64 * 1024 * 1024;
inline constexpr qint64 kMaxSmallFileBytes = 4 * 1024 * 1024;

/// Why a file could not be read; `message` names the file ("cannot read PATH: it is a FIFO").
struct ReadError
{
    bool missing = false; ///< nothing at the path: for most callers an empty file, not a failure
    QString message;
    QString reason; ///< the message without the path ("it is a FIFO")
};

enum class Links {
    Refuse, ///< our data paths: a symbolic link at the path is an error
    Follow, ///< files of other programs (credentials), which users may link elsewhere
};

/**
 * The whole of a regular file of at most `maxBytes`. Opened with O_NONBLOCK and checked with
 * fstat(), so a FIFO, device, directory or socket at the path fails at once instead of blocking
 * or reading without end.
 */
Result<QByteArray, ReadError> readRegularFile(const QString& path, qint64 maxBytes, Links links = Links::Refuse);

/**
 * Replaces `path` with `bytes` through a temporary file in the same folder, mode 0600 whatever
 * the umask. Refuses a path that holds anything but a regular file owned by us (never follows a
 * symbolic link); checks every write, flushes before the commit and cancels on any failure, so
 * the old file stays as it was. Nothing on success, else what failed ("cannot write PATH: ...").
 */
std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes);

/// Nothing when `path` is missing or a regular file owned by us (not followed); else why it is not.
std::optional<QString> checkReplaceable(const QString& path);

/// Creates `folder` and any missing parent with mode 0700 whatever the umask; nothing on
/// success, else what failed.
std::optional<QString> makePrivateFolder(const QString& folder);

/// Called first in main(): the process is not dumpable (no core dump holds a token, and other
/// processes of the user cannot read its memory through /proc), and everything it creates is
/// private to the user whatever umask it inherited.
void hardenProcess();

} // namespace tallyvue::safefile
