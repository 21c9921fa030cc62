// SPDX-License-Identifier: MIT
#include "providers/CopilotService.h"

#include "model/ClaudeMetrics.h"
#include "model/Timestamp.h"
#include "providers/Network.h"
#include "providers/ProviderSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

/// An integer, or a number truncated towards zero; 0 when absent, not finite or out of range.
std::int64_t unitCount(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    if (const QVariant exact = value.toVariant(); exact.typeId() == QMetaType::LongLong)
        return exact.toLongLong();
    const double whole = std::trunc(value.toDouble());
    if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0))
        return 0;
    return static_cast<std::int64_t>(whole);
}

int quotaRank(const QString& id)
{
    if (id == u"premium_interactions")
        return 0;
    if (id == u"chat")
        return 1;
    if (id == u"completions")
        return 2;
    return 3;
}

} // namespace

namespace CopilotService {

QString appsFilePath()
{
    return QDir::homePath() + u"/.config/github-copilot/apps.json"_s;
}

ServiceResult<QString> parseAppsFile(const QByteArray& bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return UsageServiceError::of(UsageServiceError::Kind::TokenParseError);
    const QJsonObject apps = document.object();
    for (auto it = apps.begin(); it != apps.end(); ++it) {
        const QJsonValue token = it.value().toObject().value(u"oauth_token"_s);
        if (token.isString() && !token.toString().isEmpty())
            return token.toString();
    }
    return UsageServiceError::of(UsageServiceError::Kind::TokenNotFound);
}

ServiceResult<QString> readToken()
{
    const ServiceResult<QByteArray> bytes = readCredentialFile(appsFilePath());
    if (!bytes)
        return bytes.error();
    return parseAppsFile(*bytes);
}

QString quotaTitle(const QString& id)
{
    if (id == u"premium_interactions")
        return u"Premium Interactions"_s;
    if (id == u"chat")
        return u"Chat"_s;
    if (id == u"completions")
        return u"Completions"_s;
    return capitalizedWords(id);
}

ServiceResult<CopilotUsage> parseUsage(const QByteArray& body)
{
    // A server's answer is never a credentials problem.
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return UsageServiceError::decodingFailed(u"The Copilot response is not a JSON object."_s);
    const QJsonObject json = document.object();

    CopilotUsage usage;
    if (const QJsonValue plan = json.value(u"copilot_plan"_s); plan.isString())
        usage.plan = plan.toString();
    if (const QJsonValue reset = json.value(u"quota_reset_date"_s); reset.isString())
        usage.resetDate = reset.toString();
    const QJsonValue quotaSnapshots = json.value(u"quota_snapshots"_s);
    if (!quotaSnapshots.isObject() && !quotaSnapshots.isUndefined() && !quotaSnapshots.isNull())
        return UsageServiceError::decodingFailed(
            u"The Copilot response has a wrong type for \"quota_snapshots\": expected an object."_s);
    const QJsonObject snapshots = quotaSnapshots.toObject();
    for (auto it = snapshots.begin(); it != snapshots.end(); ++it) {
        if (!it.value().isObject())
            continue;
        const QJsonObject snapshot = it.value().toObject();
        CopilotQuota quota;
        quota.id = it.key();
        quota.title = quotaTitle(it.key());
        const QJsonValue unlimited = snapshot.value(u"unlimited"_s);
        quota.unlimited = unlimited.isBool() && unlimited.toBool();
        if (const QJsonValue remaining = snapshot.value(u"percent_remaining"_s);
            remaining.isDouble() && std::isfinite(remaining.toDouble()))
            quota.percentRemaining = remaining.toDouble();
        quota.used = unitCount(snapshot.value(u"credits_used"_s));
        quota.entitlement = unitCount(snapshot.value(u"entitlement"_s));
        usage.quotas.append(std::move(quota));
    }
    std::stable_sort(usage.quotas.begin(), usage.quotas.end(),
                     [](const CopilotQuota& a, const CopilotQuota& b) { return quotaRank(a.id) < quotaRank(b.id); });
    return usage;
}

QCoro::Task<ServiceResult<CopilotUsage>> fetchUsage()
{
    const ServiceResult<QString> token = readToken();
    if (!token)
        co_return token.error();
    const std::optional<QUrl> url = serviceEndpoint(Service::Copilot, u"/copilot_internal/user"_s);
    if (!url)
        co_return UsageServiceError::of(UsageServiceError::Kind::InvalidURL);
    QList<QPair<QByteArray, QByteArray>> headers = {
        {"Authorization", "token " + token->toUtf8()},
        {"Accept", "application/vnd.github+json"},
        {"Editor-Version", "vscode/1.96.0"},
        {"User-Agent", "GitHubCopilot/1.0.0"},
    };
    const ServiceResult<HttpReply> reply = co_await httpGet(*url, std::move(headers));
    if (!reply)
        co_return reply.error();
    if (reply->status != 200)
        co_return unexpectedReply(*reply);
    co_return parseUsage(reply->body);
}

} // namespace CopilotService

QList<ProviderMetric> copilotMetrics(const CopilotUsage& usage)
{
    const std::optional<QDateTime> resetsAt = parseTimestamp(usage.resetDate);
    QList<ProviderMetric> metrics;
    for (const CopilotQuota& quota : usage.quotas) {
        if (quota.unlimited)
            continue;
        const double percent = std::max(0.0, std::min(100.0, 100.0 - quota.percentRemaining));
        metrics.append({AIProvider::Copilot, quota.id, quota.title, percent, resetsAt, 2592000.0});
    }
    return metrics;
}

} // namespace tallyvue
