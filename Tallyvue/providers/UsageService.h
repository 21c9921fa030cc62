// SPDX-License-Identifier: MIT
#pragma once

#include "providers/ClaudeUsage.h"
#include "providers/UsageServiceError.h"

#include <QDateTime>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <chrono>

namespace tallyvue::UsageService {

/// The Claude Code OAuth token: CLAUDE_CODE_OAUTH_TOKEN, then the keychain, then the
/// credentials file. The only error reported is KeychainNotFound.
QCoro::Task<ServiceResult<QString>> readAccessToken();
/// The token stored in the desktop keychain (the Secret Service on Linux).
QCoro::Task<ServiceResult<QString>> readKeychainToken();
/// Runs the keychain tool with `arguments`; its standard output, or why it failed.
QCoro::Task<ServiceResult<QString>> runSecurityTool(QStringList arguments);
/// Finds the token in a credential document (JSON or a bare token).
ServiceResult<QString> extractAccessToken(const QByteArray& document, const QDateTime& now);
/// Where Claude Code keeps its credentials ($CLAUDE_CONFIG_DIR or ~/.claude).
QString credentialsFilePath();

/// GET /api/oauth/usage with the token. A 401 arrives as InvalidResponse with code 401.
QCoro::Task<ServiceResult<UsageResponse>> fetchUsage(QString token);

} // namespace tallyvue::UsageService

namespace tallyvue::detail {
/// How long the keychain tool may run before it is killed and the file is tried.
inline constexpr std::chrono::milliseconds kDefaultKeychainTimeout{5000};
void setKeychainTimeout(std::chrono::milliseconds timeout);
} // namespace tallyvue::detail
