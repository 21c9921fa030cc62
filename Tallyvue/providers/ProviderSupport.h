// SPDX-License-Identifier: MIT
#pragma once

#include "providers/UsageServiceError.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tallyvue {

/// The bytes as UTF-8, or nothing when they are not valid UTF-8.
std::optional<QString> decodeUtf8Strict(const QByteArray& bytes);

/// The whole of a small credentials file: ConfigFileNotFound when it is missing, and
/// CredentialsUnreadable naming the file when it is anything but a regular file of at most a few
/// MiB, or cannot be read (a FIFO, device or huge file must not stall the refresh).
ServiceResult<QByteArray> readCredentialFile(const QString& path);

} // namespace tallyvue
