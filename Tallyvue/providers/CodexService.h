// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"
#include "providers/UsageServiceError.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include <cstdint>
#include <optional>

namespace tallyvue {

struct CodexWindow
{
    QString id;
    QString title;
    double percentUsed = 0;
    std::optional<std::int64_t> resetsInSeconds;
    std::optional<std::int64_t> windowMinutes;

    /// Short relative phrase ("in 2 hr."), measured from `now`; empty below one second.
    std::optional<QString> resetDescription(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    friend bool operator==(const CodexWindow&, const CodexWindow&) = default;
};

struct CodexUsage
{
    std::optional<QString> plan;
    QList<CodexWindow> windows;
    std::optional<double> creditBalance;
    bool limitReached = false;
    QDateTime fetchedAt;
    friend bool operator==(const CodexUsage&, const CodexUsage&) = default;
};

namespace CodexService {

struct Auth
{
    QString accessToken;
    std::optional<QString> accountId;
};

/// Where the Codex CLI keeps its login ($CODEX_HOME or ~/.codex, then auth.json).
QString authFilePath();
ServiceResult<Auth> readAuth();
/// Reads auth.json's bytes: TokenNotFound unless "tokens" holds a non-empty "access_token".
ServiceResult<Auth> parseAuthFile(const QByteArray& bytes);
/// Parses the decoded answer; never fails (unknown shapes give no windows).
CodexUsage parseUsage(const QJsonObject& json, const QDateTime& fetchedAt);
void collectWindows(const QJsonObject& container, const std::optional<QString>& prefix, QList<CodexWindow>& into);
QString windowTitle(const QString& name, std::optional<std::int64_t> windowMinutes,
                    const std::optional<QString>& prefix);
/// GET /backend-api/wham/usage with the Codex CLI's login.
QCoro::Task<ServiceResult<CodexUsage>> fetchUsage();

} // namespace CodexService

QList<ProviderMetric> codexMetrics(const CodexUsage& usage);

} // namespace tallyvue
