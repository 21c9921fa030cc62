// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tallyvue {

/// The bytes as UTF-8, or nothing when they are not valid UTF-8.
std::optional<QString> decodeUtf8Strict(const QByteArray& bytes);

/// "code_review" -> "Code Review": split at underscores, empty pieces dropped, each piece with its
/// first letter upper case and the rest lower case, joined with single spaces.
QString spacedTitle(QStringView identifier);

/// The whole of a small credentials file; nothing when it is missing, unreadable or implausibly
/// large (a stray device or huge file must not stall the refresh).
std::optional<QByteArray> readCredentialFile(const QString& path);

} // namespace tallyvue
