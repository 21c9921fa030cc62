// SPDX-License-Identifier: MIT
#include "model/ClaudeMetrics.h"

#include "model/Timestamp.h"

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

constexpr double kFiveHours = 18000;
constexpr double kSevenDays = 604800;

bool isSessionKind(QStringView kind)
{
    return kind == u"session" || kind == u"five_hour";
}

QString limitTitle(const UsageLimit& limit)
{
    if (limit.scope && limit.scope->model && limit.scope->model->displayName)
        return *limit.scope->model->displayName;
    if (isSessionKind(limit.kind))
        return u"5-Hour"_s;
    if (limit.kind == u"weekly_all" || limit.kind == u"seven_day")
        return u"7-Day"_s;
    return capitalizedWords(limit.kind);
}

std::optional<double> limitWindowLength(QStringView kind)
{
    if (isSessionKind(kind))
        return kFiveHours;
    if (kind.startsWith(u"weekly") || kind == u"seven_day")
        return kSevenDays;
    return std::nullopt;
}

} // namespace

QString capitalizedWords(QStringView snakeCase)
{
    QStringList words;
    for (QStringView piece : snakeCase.split(u'_', Qt::SkipEmptyParts))
        words.append(piece.left(1).toString().toUpper() + piece.mid(1).toString().toLower());
    return words.join(u' ');
}

QList<ProviderMetric> claudeMetrics(const UsageResponse& usage)
{
    QList<ProviderMetric> metrics;
    if (usage.limits && !usage.limits->isEmpty()) {
        for (const UsageLimit& limit : *usage.limits) {
            metrics.append({AIProvider::Claude, limit.kind, limitTitle(limit), limit.percent,
                            parseTimestamp(limit.resetsAt), limitWindowLength(limit.kind)});
        }
        return metrics;
    }
    if (usage.fiveHour) {
        metrics.append({AIProvider::Claude, u"session"_s, u"5-Hour"_s, usage.fiveHour->utilization,
                        parseTimestamp(usage.fiveHour->resetsAt), kFiveHours});
    }
    if (usage.sevenDay) {
        metrics.append({AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, usage.sevenDay->utilization,
                        parseTimestamp(usage.sevenDay->resetsAt), kSevenDays});
    }
    return metrics;
}

} // namespace tallyvue
