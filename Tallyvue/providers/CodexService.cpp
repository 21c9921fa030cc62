// SPDX-License-Identifier: MIT
#include "providers/CodexService.h"

#include "model/ClaudeMetrics.h"
#include "providers/Network.h"
#include "providers/ProviderSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

/// A JSON number, or a string that is a whole C-locale floating-point number (no blanks).
/// Values that are not finite count as absent.
std::optional<double> numberOrNumericString(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        return std::isfinite(number) ? std::optional(number) : std::nullopt;
    }
    if (!value.isString())
        return std::nullopt;
    const QByteArray text = value.toString().toUtf8();
    const char* first = text.constData();
    const char* last = first + text.size();
    // from_chars takes no '+', which strtod would accept.
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-' && first[1] != '+')
        ++first;
    double number = 0;
    const auto [end, error] = std::from_chars(first, last, number);
    if (first == last || error != std::errc() || end != last || !std::isfinite(number))
        return std::nullopt;
    return number;
}

/// The value truncated towards zero, when that fits a 64-bit integer.
std::optional<std::int64_t> truncated(std::optional<double> value)
{
    if (!value)
        return std::nullopt;
    const double whole = std::trunc(*value);
    if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0))
        return std::nullopt;
    return static_cast<std::int64_t>(whole);
}

/// A JSON number with an integral value that fits a 64-bit integer.
std::optional<std::int64_t> integer(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    if (const QVariant exact = value.toVariant(); exact.typeId() == QMetaType::LongLong)
        return exact.toLongLong();
    const double number = value.toDouble();
    if (std::trunc(number) != number)
        return std::nullopt;
    return truncated(number);
}

int windowRank(const QString& id)
{
    if (id.startsWith(u"primary"))
        return 0;
    if (id.startsWith(u"secondary"))
        return 1;
    return 2;
}

QString resetPhrase(std::int64_t seconds)
{
    constexpr std::int64_t kMinute = 60, kHour = 3600, kDay = 86400, kWeek = 7 * kDay, kMonth = 30 * kDay,
                           kYear = 365 * kDay;
    const auto phrase = [](std::int64_t count, const char* unit) {
        return u"in %1 %2"_s.arg(count).arg(QLatin1StringView(unit));
    };
    if (seconds < kMinute)
        return phrase(seconds, "sec.");
    if (seconds < kHour)
        return phrase(seconds / kMinute, "min.");
    if (seconds < kDay)
        return phrase(seconds / kHour, "hr.");
    if (seconds < kWeek)
        return phrase(seconds / kDay, seconds < 2 * kDay ? "day" : "days");
    if (seconds < kMonth)
        return phrase(seconds / kWeek, "wk.");
    if (seconds < kYear)
        return phrase(seconds / kMonth, "mo.");
    return phrase(seconds / kYear, "yr.");
}

} // namespace

std::optional<QString> CodexWindow::resetDescription(const QDateTime& now) const
{
    Q_UNUSED(now); // the phrase is relative to the moment it is asked for, so only the span counts
    if (!resetsInSeconds || *resetsInSeconds < 1)
        return std::nullopt;
    return resetPhrase(*resetsInSeconds);
}

namespace CodexService {

QString authFilePath()
{
    const QString codexHome = qEnvironmentVariable("CODEX_HOME");
    const QString base = codexHome.isEmpty() ? QDir::homePath() + u"/.codex"_s : codexHome;
    return QDir(base).filePath(u"auth.json"_s);
}

ServiceResult<Auth> parseAuthFile(const QByteArray& bytes)
{
    const auto notFound = UsageServiceError::of(UsageServiceError::Kind::TokenNotFound);
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return notFound;
    // Decoded like a typed record: a member of the wrong type spoils the whole file.
    const QJsonValue tokens = document.object().value(u"tokens"_s);
    if (!tokens.isObject())
        return notFound;
    const QJsonValue accessToken = tokens.toObject().value(u"access_token"_s);
    const QJsonValue accountId = tokens.toObject().value(u"account_id"_s);
    if (!accessToken.isString() || accessToken.toString().isEmpty())
        return notFound;
    Auth auth{accessToken.toString(), std::nullopt};
    if (accountId.isString())
        auth.accountId = accountId.toString();
    else if (!accountId.isNull() && !accountId.isUndefined())
        return notFound;
    return auth;
}

ServiceResult<Auth> readAuth()
{
    const ServiceResult<QByteArray> bytes = readCredentialFile(authFilePath());
    if (!bytes)
        return bytes.error();
    return parseAuthFile(*bytes);
}

QString windowTitle(const QString& name, std::optional<std::int64_t> windowMinutes,
                    const std::optional<QString>& prefix)
{
    QString base;
    if (windowMinutes) {
        const std::int64_t minutes = *windowMinutes;
        if (minutes % 1440 == 0)
            base = QString::number(minutes / 1440) + u"-Day"_s;
        else if (minutes % 60 == 0)
            base = QString::number(minutes / 60) + u"-Hour"_s;
        else
            base = QString::number(minutes) + u"-Min"_s;
    } else if (name == u"primary") {
        base = u"Primary"_s;
    } else if (name == u"secondary") {
        base = u"Weekly"_s;
    } else {
        base = capitalizedWords(name);
    }
    if (!prefix)
        return base;
    return capitalizedWords(*prefix) + u' ' + base;
}

void collectWindows(const QJsonObject& container, const std::optional<QString>& prefix, QList<CodexWindow>& into)
{
    for (auto it = container.begin(); it != container.end(); ++it) {
        const QJsonObject window = it.value().toObject();
        if (!it.value().isObject() || window.isEmpty())
            continue;
        const std::optional<double> used = numberOrNumericString(window.value(u"used_percent"_s));
        if (!used)
            continue;
        QString name = it.key();
        if (name.endsWith(u"_window"))
            name.chop(7);

        CodexWindow entry;
        entry.id = prefix ? *prefix + u'.' + name : name;
        entry.windowMinutes = integer(window.value(u"window_minutes"_s));
        if (!entry.windowMinutes) {
            if (const auto seconds = numberOrNumericString(window.value(u"limit_window_seconds"_s)))
                entry.windowMinutes = truncated(*seconds / 60.0);
        }
        entry.resetsInSeconds = truncated(numberOrNumericString(window.value(u"resets_in_seconds"_s)));
        if (!entry.resetsInSeconds)
            entry.resetsInSeconds = truncated(numberOrNumericString(window.value(u"reset_after_seconds"_s)));
        entry.title = windowTitle(name, entry.windowMinutes, prefix);
        entry.percentUsed = std::max(std::min(*used, 100.0), 0.0);
        into.append(std::move(entry));
    }
}

CodexUsage parseUsage(const QJsonObject& json, const QDateTime& fetchedAt)
{
    CodexUsage usage;
    if (const QJsonValue planType = json.value(u"plan_type"_s); planType.isString())
        usage.plan = planType.toString();
    else if (const QJsonValue plan = json.value(u"plan"_s); plan.isString())
        usage.plan = plan.toString();

    QList<CodexWindow> windows;
    const QJsonValue rateLimits = json.value(u"rate_limits"_s);
    if (rateLimits.isObject())
        collectWindows(rateLimits.toObject(), std::nullopt, windows);
    const QJsonValue rateLimit = json.value(u"rate_limit"_s);
    if (rateLimit.isObject())
        collectWindows(rateLimit.toObject(), std::nullopt, windows);
    if (const QJsonValue codeReview = json.value(u"code_review_rate_limit"_s); codeReview.isObject())
        collectWindows(codeReview.toObject(), u"code_review"_s, windows);
    if (const QJsonValue additional = json.value(u"additional_rate_limits"_s); additional.isArray()) {
        const QJsonArray limits = additional.toArray();
        const bool allObjects =
            std::all_of(limits.begin(), limits.end(), [](const QJsonValue& v) { return v.isObject(); });
        for (qsizetype i = 0; allObjects && i < limits.size(); ++i) {
            const QJsonObject limit = limits.at(i).toObject();
            QString name = u"additional"_s;
            if (const QJsonValue n = limit.value(u"name"_s); n.isString())
                name = n.toString();
            else if (const QJsonValue ln = limit.value(u"limit_name"_s); ln.isString())
                name = ln.toString();
            if (const QJsonValue inner = limit.value(u"rate_limit"_s); inner.isObject())
                collectWindows(inner.toObject(), name, windows);
        }
    }
    // Some answers put the windows straight at the top level.
    if (windows.isEmpty())
        collectWindows(json, std::nullopt, windows);
    std::stable_sort(windows.begin(), windows.end(),
                     [](const CodexWindow& a, const CodexWindow& b) { return windowRank(a.id) < windowRank(b.id); });
    usage.windows = std::move(windows);

    if (const QJsonValue credits = json.value(u"credits"_s); credits.isObject())
        usage.creditBalance = numberOrNumericString(credits.toObject().value(u"balance"_s));
    if (rateLimit.isObject()) {
        const QJsonValue reached = rateLimit.toObject().value(u"limit_reached"_s);
        usage.limitReached = reached.isBool() && reached.toBool();
    }
    usage.fetchedAt = fetchedAt;
    return usage;
}

QCoro::Task<ServiceResult<CodexUsage>> fetchUsage()
{
    const ServiceResult<Auth> auth = readAuth();
    if (!auth)
        co_return auth.error();
    const std::optional<QUrl> url = serviceEndpoint(Service::ChatGPT, u"/backend-api/wham/usage"_s);
    if (!url)
        co_return UsageServiceError::of(UsageServiceError::Kind::InvalidURL);

    QList<QPair<QByteArray, QByteArray>> headers = {
        {"Authorization", "Bearer " + auth->accessToken.toUtf8()},
        {"Accept", "application/json"},
        {"originator", "codex_cli_rs"},
        {"User-Agent", "codex_cli_rs/0.30.0 (Mac OS 26.5; arm64) Terminal"},
    };
    // Sent whenever the login names an account, even an empty one (a null value would drop it).
    if (auth->accountId)
        headers.append({"chatgpt-account-id", auth->accountId->isEmpty() ? QByteArray("") : auth->accountId->toUtf8()});

    const ServiceResult<HttpReply> reply = co_await httpGet(*url, std::move(headers));
    if (!reply)
        co_return reply.error();
    if (reply->status == 401)
        co_return UsageServiceError::tokenExpired(
            u"ChatGPT session expired. Run `codex` in your terminal to sign in again, then refresh."_s);
    if (reply->status == 200) {
        const QJsonDocument document = QJsonDocument::fromJson(reply->body);
        if (document.isObject())
            co_return parseUsage(document.object(), QDateTime::currentDateTimeUtc());
    }
    co_return unexpectedReply(*reply);
}

} // namespace CodexService

QList<ProviderMetric> codexMetrics(const CodexUsage& usage)
{
    QList<ProviderMetric> metrics;
    metrics.reserve(usage.windows.size());
    for (const CodexWindow& window : usage.windows) {
        ProviderMetric metric{AIProvider::ChatGPT, window.id,    window.title,
                              window.percentUsed,  std::nullopt, std::nullopt};
        if (window.resetsInSeconds && usage.fetchedAt.isValid()) {
            // A reset beyond the representable range is no reset time at all.
            qint64 ms = 0;
            if (!__builtin_mul_overflow(*window.resetsInSeconds, qint64(1000), &ms) &&
                !__builtin_add_overflow(usage.fetchedAt.toMSecsSinceEpoch(), ms, &ms)) {
                const QDateTime resetsAt = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
                if (resetsAt.isValid())
                    metric.resetsAt = resetsAt;
            }
        }
        if (window.windowMinutes)
            metric.windowLength = double(*window.windowMinutes) * 60.0;
        metrics.append(std::move(metric));
    }
    return metrics;
}

} // namespace tallyvue
