// SPDX-License-Identifier: MIT
#pragma once

#include "model/ProviderMetric.h"
#include "providers/UsageServiceError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include <cstdint>
#include <optional>

namespace tallyvue {

struct CopilotQuota
{
    QString id;
    QString title;
    bool unlimited = false;
    double percentRemaining = 100;
    std::int64_t used = 0;
    std::int64_t entitlement = 0;
    friend bool operator==(const CopilotQuota&, const CopilotQuota&) = default;
};

struct CopilotUsage
{
    std::optional<QString> plan;
    std::optional<QString> resetDate; ///< as received; parseTimestamp() reads it
    QList<CopilotQuota> quotas;
    friend bool operator==(const CopilotUsage&, const CopilotUsage&) = default;
};

namespace CopilotService {

/// ~/.config/github-copilot/apps.json, written by the Copilot editor plug-ins.
QString appsFilePath();
ServiceResult<QString> readToken();
/// Reads apps.json's bytes: the first application entry with a non-empty "oauth_token".
ServiceResult<QString> parseAppsFile(const QByteArray& bytes);
QString quotaTitle(const QString& id);
/// Reads a 200 answer's body; DecodingFailed when it is not a JSON object or its
/// "quota_snapshots" is there but not an object.
ServiceResult<CopilotUsage> parseUsage(const QByteArray& body);
/// GET /copilot_internal/user with the plug-in's token.
QCoro::Task<ServiceResult<CopilotUsage>> fetchUsage();

} // namespace CopilotService

QList<ProviderMetric> copilotMetrics(const CopilotUsage& usage);

} // namespace tallyvue
