// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tallyvue {

/// The bytes as UTF-8, or nothing when they are not valid UTF-8.
std::optional<QString> decodeUtf8Strict(const QByteArray& bytes);

/// The whole of a small credentials file; nothing when it is missing, unreadable or implausibly
/// large (a stray device or huge file must not stall the refresh).
std::optional<QByteArray> readCredentialFile(const QString& path);

} // namespace tallyvue
