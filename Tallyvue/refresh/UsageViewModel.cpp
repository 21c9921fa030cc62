// SPDX-License-Identifier: MIT
#include "refresh/UsageViewModel.h"

#include "alerts/ThresholdAlerts.h"
#include "model/ClaudeMetrics.h"
#include "model/Log.h"
#include "model/MenuBarLabelText.h"
#include "model/Preferences.h"
#include "providers/UsageService.h"
#include "refresh/CodexLogHistory.h"
#include "widget_snapshot/ClaudeCodeLimits.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QLocale>
#include <QPointer>

#include <qcoro/qcorotimer.h>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace tallyvue {

RefreshTiming refreshTiming(int storedMinutes)
{
    switch (storedMinutes) {
    case 2: return {120s, 60s};
    case 5: return {300s, 150s};
    case 30: return {1800s, 300s};
    default: return {600s, 300s};
    }
}

UsageViewModel::UsageViewModel(QObject* parent) : UsageViewModel(Options{}, parent)
{
}

UsageViewModel::UsageViewModel(Options options, QObject* parent) : QObject(parent), m_clock(std::move(options.clock))
{
    if (auto history = HistoryStore::read())
        m_history = std::move(history).value();
    else
        log(u"History not loaded: "_s + history.error());
    m_now = currentTime();
    connect(&Preferences::instance(), &Preferences::changed, this, &UsageViewModel::preferenceChanged);
    if (options.firstAnswerWait > 0ms) {
        QTimer::singleShot(options.firstAnswerWait, this, [this] {
            m_firstAnswerWaitOver = true;
            Q_EMIT changed();
        });
    } else {
        m_firstAnswerWaitOver = true;
    }
    if (!options.startLoops)
        return;
    startAutoRefresh();
    // On a first start the Trends tab shows the figures Codex logged in the last 14 days. Once
    // the history itself reaches back that far, the logs can add nothing and are not read.
    const QDateTime reachedBack = currentTime().addDays(-13);
    const bool historyReachesBack = std::any_of(m_history.begin(), m_history.end(), [&](const UsageSnapshot& s) {
        return s.timestamp <= reachedBack &&
               std::any_of(s.limits.begin(), s.limits.end(),
                           [](const UsageSnapshot::LimitPoint& p) { return p.provider == AIProvider::ChatGPT; });
    });
    for (const LocalUsageSource& source : LocalUsageScanner::defaultSources()) {
        if (source.provider != AIProvider::ChatGPT || historyReachesBack)
            continue;
        seedHistoryFromCodexLogs(source.root, this, [this](qsizetype) {
            if (auto history = HistoryStore::read()) {
                m_history = std::move(history).value();
                Q_EMIT changed();
            }
        });
    }
    m_clockTimer.setInterval(60s);
    connect(&m_clockTimer, &QTimer::timeout, this, [this] {
        m_now = currentTime();
        Q_EMIT changed();
    });
    m_clockTimer.start();
}

UsageViewModel::~UsageViewModel() = default;

QDateTime UsageViewModel::currentTime() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

void UsageViewModel::preferenceChanged(const QString& key)
{
    // A one-shot coordinator (the CLI) never runs a loop, so it does not start one here.
    if (key == u"refreshIntervalMinutes" && m_loopGeneration > 0)
        startAutoRefresh();
    else if (key == u"quotaDisplayMode")
        writeWidgetSnapshot();
}

QList<ProviderMetric> UsageViewModel::allMetrics() const
{
    QList<ProviderMetric> all;
    if (usage())
        all += claudeMetrics(*usage());
    if (m_codexUsage)
        all += codexMetrics(*m_codexUsage);
    if (m_copilotUsage)
        all += copilotMetrics(*m_copilotUsage);
    return all;
}

QList<ProviderMetric> UsageViewModel::metrics(AIProvider provider) const
{
    QList<ProviderMetric> result;
    for (ProviderMetric& metric : allMetrics()) {
        if (metric.provider == provider)
            result.append(std::move(metric));
    }
    return result;
}

std::optional<ProviderMetric> UsageViewModel::metric(QStringView id) const
{
    return metricById(allMetrics(), id);
}

namespace {

/// Whether the newest history point of `provider` holds exactly these windows' percents: a
/// stand-in value recorded before a restart is not recorded again.
bool newestRecorded(const QList<UsageSnapshot>& history, AIProvider provider, const QList<ProviderMetric>& metrics)
{
    for (auto snapshot = history.crbegin(); snapshot != history.crend(); ++snapshot) {
        QList<UsageSnapshot::LimitPoint> points;
        for (const UsageSnapshot::LimitPoint& point : snapshot->limits) {
            if (point.provider == provider)
                points.append(point);
        }
        if (points.isEmpty())
            continue;
        return points.size() == metrics.size() &&
               std::all_of(metrics.begin(), metrics.end(), [&](const ProviderMetric& metric) {
                   return std::any_of(points.begin(), points.end(), [&](const UsageSnapshot::LimitPoint& point) {
                       return point.kind == metric.kind && point.percent == metric.percent;
                   });
               });
    }
    return false;
}

std::size_t slot(AIProvider provider)
{
    return static_cast<std::size_t>(provider);
}

} // namespace

const std::optional<QString>& UsageViewModel::error(AIProvider provider) const
{
    switch (provider) {
    case AIProvider::Claude: return m_errorMessage;
    case AIProvider::ChatGPT: return m_codexError;
    case AIProvider::Copilot: return m_copilotError;
    }
    return m_errorMessage;
}

const std::optional<FigureSource>& UsageViewModel::source(AIProvider provider) const
{
    return m_sources[slot(provider)];
}

const std::optional<ProviderNotice>& UsageViewModel::notice(AIProvider provider) const
{
    return m_notices[slot(provider)];
}

std::optional<LastGoodValues> UsageViewModel::lastGood(AIProvider provider) const
{
    if (!error(provider))
        return std::nullopt;
    LastGoodValues values;
    if (const auto& when = m_succeededAt[slot(provider)]) {
        values.asOf = *when;
        if (provider == AIProvider::Claude && m_usage)
            values.metrics = claudeMetrics(*m_usage);
        else if (provider == AIProvider::ChatGPT && m_lastGoodCodex)
            values.metrics = codexMetrics(*m_lastGoodCodex);
        else if (provider == AIProvider::Copilot && m_copilotUsage)
            values.metrics = copilotMetrics(*m_copilotUsage);
    } else {
        // Nothing yet in this run: the history remembers what the last run saw.
        for (auto it = m_history.crbegin(); it != m_history.crend() && values.metrics.isEmpty(); ++it) {
            for (const UsageSnapshot::LimitPoint& point : it->limits) {
                if (point.provider == provider)
                    values.metrics.append({provider, point.kind, point.displayName.value_or(point.kind), point.percent,
                                           point.resetsAt, std::nullopt});
            }
            values.asOf = it->timestamp;
        }
    }
    // A figure of a window that has ended since says nothing about the current one.
    const QDateTime now = currentTime();
    values.metrics.removeIf([&](const ProviderMetric& metric) {
        return (metric.resetsAt && *metric.resetsAt <= now) ||
               (metric.windowLength && values.asOf.addSecs(qint64(*metric.windowLength)) <= now);
    });
    if (values.metrics.isEmpty())
        return std::nullopt;
    return values;
}

bool UsageViewModel::isAwaitingFirstAnswer(AIProvider provider) const
{
    return !m_firstAnswerWaitOver && !m_answered[slot(provider)];
}

QList<ProviderMetric> UsageViewModel::labelMetrics(std::optional<AIProvider> chosen) const
{
    const bool waiting = chosen && isAwaitingFirstAnswer(*chosen);
    QList<ProviderMetric> result;
    for (const AIProvider provider : kAllProviders) {
        if (waiting && provider != *chosen)
            continue;
        if (error(provider)) {
            if (auto last = lastGood(provider))
                result += last->metrics;
        } else {
            result += metrics(provider);
        }
    }
    return result;
}

bool UsageViewModel::isHeldBack(AIProvider provider) const
{
    const auto& notBefore = m_notBefore[slot(provider)];
    return notBefore && currentTime() < *notBefore;
}

void UsageViewModel::answered(AIProvider provider, const UsageServiceError* failure)
{
    const std::size_t i = slot(provider);
    m_answered[i] = true;
    if (!failure) {
        m_notices[i].reset();
        m_notBefore[i].reset();
        m_succeededAt[i] = currentTime();
        return;
    }
    const QDateTime now = currentTime();
    const qint64 retryAfter = std::max<qint64>(0, failure->retryAfterSeconds.value_or(0));
    m_notBefore[i] = retryAfter > 0 ? std::optional(now.addSecs(retryAfter)) : std::nullopt;
    // The loop asks again at its next turn that the Retry-After allows.
    QDateTime nextTry = now.addSecs(retryAfter);
    if (m_loopGeneration > 0) {
        const qint64 pause = refreshTiming(Preferences::instance().refreshIntervalMinutes()).pause.count();
        nextTry = now.addSecs(std::max<qint64>(1, (retryAfter + pause - 1) / pause) * pause);
    }
    m_notices[i] = providerNotice(provider, *failure, nextTry);
}

void UsageViewModel::startAutoRefresh()
{
    // A newer generation tells the running loop to stop at its next wake-up.
    runRefreshLoop(++m_loopGeneration);
}

QCoro::Task<> UsageViewModel::runRefreshLoop(quint64 generation)
{
    QPointer<UsageViewModel> self(this);
    // Let the caller (the constructor, the settings panel) finish before the first refresh.
    co_await QCoro::sleepFor(0ms);
    if (!self || self->m_loopGeneration != generation)
        co_return;
    co_await self->refresh(true);
    while (self && self->m_loopGeneration == generation) {
        const auto pause = refreshTiming(Preferences::instance().refreshIntervalMinutes()).pause;
        if (self->m_sleep)
            co_await self->m_sleep(pause);
        else
            co_await QCoro::sleepFor(pause);
        if (!self || self->m_loopGeneration != generation)
            co_return;
        co_await self->refresh(false);
    }
}

namespace {

/// Reads the token afresh and fetches the Claude usage with it.
QCoro::Task<ServiceResult<UsageResponse>> fetchClaude()
{
    auto token = co_await UsageService::readAccessToken();
    if (!token)
        co_return token.error();
    co_return co_await UsageService::fetchUsage(token.value());
}

} // namespace

QCoro::Task<> UsageViewModel::refresh(bool force)
{
    QPointer<UsageViewModel> self(this);
    if (!force && m_lastUpdated) {
        const auto minimumAge = refreshTiming(Preferences::instance().refreshIntervalMinutes()).minimumAge;
        // A success "in the future" means the clock was set back: count it as stale, or no
        // refresh would run until wall time caught up.
        const qint64 age = m_lastUpdated->secsTo(currentTime());
        if (age >= 0 && age < minimumAge.count()) {
            log(u"Rate limit protection: Skipping fetch, updated recently."_s);
            co_return;
        }
    }

    // A provider that asked us to come back later (Retry-After) is left out, error and all.
    const bool claudeHeldBack = isHeldBack(AIProvider::Claude);
    m_isLoading = true;
    if (!claudeHeldBack)
        m_errorMessage.reset();
    Q_EMIT changed();

    // Both start at once and run beside the Claude fetch.
    QCoro::Task<> copilot = fetchCopilot();
    QCoro::Task<> codex = fetchCodex();

    if (claudeHeldBack) {
        log(u"Claude asked to wait; not asking before "_s +
            m_notBefore[slot(AIProvider::Claude)]->toString(Qt::ISODate));
    } else {
        auto claude = co_await fetchClaude();
        if (!self)
            co_return;
        if (claude) {
            storeClaudeSuccess(std::move(claude).value());
            log(u"Usage refreshed at "_s +
                QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
        } else if (claude.error().isUnauthorized()) {
            // Claude Code may have renewed its token since we read it.
            log(u"Got 401, re-reading token and retrying..."_s);
            auto retry = co_await fetchClaude();
            if (!self)
                co_return;
            if (retry) {
                storeClaudeSuccess(std::move(retry).value());
                log(u"Retry succeeded"_s);
            } else {
                m_errorMessage = retry.error().description();
                answered(AIProvider::Claude, &retry.error());
                log(u"Retry failed: "_s + retry.error().debugDescription());
            }
        } else {
            m_errorMessage = claude.error().description();
            answered(AIProvider::Claude, &claude.error());
            log(u"Error: "_s + claude.error().debugDescription());
        }
    }
    settleClaudeSource();
    Q_EMIT changed();

    co_await copilot;
    co_await codex;
    if (!self)
        co_return;

    auto events = co_await LocalUsageScanner::shared().scan(currentTime());
    if (!self)
        co_return;
    m_localUsage = std::make_shared<const std::vector<LocalUsageEvent>>(std::move(events));
    settleCodexSource(LocalUsageScanner::shared().lastSummary().newestCodexLimits);

    const QList<ProviderMetric> current = allMetrics();
    // A provider that failed in this refresh still shows its last values, but they are not
    // recorded again as if they were new.
    QList<ProviderMetric> fresh;
    for (const ProviderMetric& metric : current) {
        const std::optional<QString>& error = metric.provider == AIProvider::Claude    ? m_errorMessage
                                              : metric.provider == AIProvider::ChatGPT ? m_codexError
                                                                                       : m_copilotError;
        // Stand-in figures are read again at every refresh and start; each value is recorded once.
        const bool recorded = m_sources[slot(metric.provider)] &&
                              (m_recordedStandIn[slot(metric.provider)] == metrics(metric.provider) ||
                               newestRecorded(m_history, metric.provider, metrics(metric.provider)));
        if (!error && !recorded)
            fresh.append(metric);
    }
    m_storageErrors.clear();
    if (const auto why = HistoryStore::record(fresh, currentTime())) {
        // The history in memory stays as it was.
        m_storageErrors.append(u"history not recorded: "_s + *why);
        log(u"History not recorded: "_s + *why);
    } else if (!fresh.isEmpty()) {
        for (const AIProvider provider : kAllProviders) {
            if (m_sources[slot(provider)])
                m_recordedStandIn[slot(provider)] = metrics(provider);
        }
        if (auto history = HistoryStore::read())
            m_history = std::move(history).value();
        else
            log(u"History not reloaded: "_s + history.error());
    }
    if (Preferences::instance().alertsEnabled())
        ThresholdAlerts::evaluate(current, currentTime());
    migrateBadgeSelections();
    writeWidgetSnapshot();

    m_isLoading = false;
    Q_EMIT changed();
}

void UsageViewModel::storeClaudeSuccess(UsageResponse usage)
{
    m_usage = std::move(usage);
    m_claudeFailure.reset();
    m_lastUpdated = currentTime();
    answered(AIProvider::Claude, nullptr);
}

void UsageViewModel::settleClaudeSource()
{
    if (m_errorMessage)
        m_claudeFailure = m_errorMessage; // this refresh's failure (none when the fetch was skipped)
    std::optional<ClaudeCodeFigures> figures = m_claudeFailure ? readClaudeCodeLimits() : std::nullopt;
    const QDateTime now = currentTime();
    const auto& succeeded = m_succeededAt[slot(AIProvider::Claude)];
    if (figures && ((succeeded && figures->asOf <= *succeeded) || figures->asOf > now.addSecs(60)))
        figures.reset(); // older than what the service said last, or from a clock that was ahead
    if (figures) {
        for (const ProviderMetric& metric : claudeMetrics(figures->usage)) {
            if ((metric.resetsAt && *metric.resetsAt <= now) ||
                (metric.windowLength && figures->asOf.addSecs(qint64(*metric.windowLength)) <= now))
                figures.reset(); // a window has started again since: the figures no longer hold
            if (!figures)
                break;
        }
    }
    if (!figures) {
        m_claudeCodeUsage.reset();
        m_sources[slot(AIProvider::Claude)].reset();
        m_errorMessage = m_claudeFailure;
        return;
    }
    m_claudeCodeUsage = std::move(figures->usage);
    m_sources[slot(AIProvider::Claude)] = FigureSource{u"claude-code"_s, u"Claude Code"_s, figures->asOf, {}};
    m_errorMessage.reset();
}

void UsageViewModel::settleCodexSource(const std::optional<CodexRateLimits>& limits)
{
    const QDateTime now = currentTime();
    const auto& succeeded = m_succeededAt[slot(AIProvider::ChatGPT)];
    std::optional<CodexUsage> standIn;
    QDateTime asOf;
    if (m_codexFailure && limits) {
        asOf = QDateTime::fromSecsSinceEpoch(limits->timestamp / 1000, Qt::UTC);
        standIn = codexLogUsage(*limits);
        if ((succeeded && asOf <= *succeeded) || asOf > now.addSecs(60))
            standIn.reset();
        for (const ProviderMetric& metric : standIn ? codexMetrics(*standIn) : QList<ProviderMetric>()) {
            if ((metric.resetsAt && *metric.resetsAt <= now) ||
                (metric.windowLength && asOf.addSecs(qint64(*metric.windowLength)) <= now))
                standIn.reset(); // a window has started again since the line was written
        }
    }
    auto& source = m_sources[slot(AIProvider::ChatGPT)];
    if (!standIn) {
        if (source) { // the stand-in no longer holds: the failure shows again
            m_codexUsage.reset();
            m_codexError = m_codexFailure;
            source.reset();
        }
        return;
    }
    m_codexUsage = std::move(standIn);
    m_codexError.reset();
    const auto& notice = m_notices[slot(AIProvider::ChatGPT)];
    const bool signedOut = notice && notice->kind == ProviderNotice::Kind::NotSignedIn;
    source = FigureSource{u"codex-log"_s, u"Codex's log"_s, asOf,
                          signedOut ? u"Signing in to Codex with a file-based login gives live figures."_s
                                    : QString()};
}

void UsageViewModel::migrateBadgeSelections()
{
    Preferences& preferences = Preferences::instance();
    const QList<ProviderMetric> current = allMetrics();
    const auto repair = [&current](const QString& stored, auto store) {
        if (stored.isEmpty() || metricById(current, stored))
            return;
        if (const auto claude = metricById(current, QString(u"Claude:"_s + stored)))
            store(claude->id());
    };
    repair(preferences.selectedMenuBadge(), [&](const QString& id) { preferences.setSelectedMenuBadge(id); });
    repair(preferences.secondaryMenuBadge(), [&](const QString& id) { preferences.setSecondaryMenuBadge(id); });
}

void UsageViewModel::writeWidgetSnapshot()
{
    const QList<ProviderMetric> current = allMetrics();
    if (current.isEmpty())
        return; // the widget keeps the last good snapshot
    const Preferences& preferences = Preferences::instance();
    const auto primary = resolveBadge(current, preferences.selectedMenuBadge());
    // The time of the oldest figure written: a record held through failures must not look as
    // fresh as this write, or the widget and the status bars would show it as current.
    QDateTime asOf = currentTime();
    for (const ProviderMetric& metric : current) {
        const auto& source = m_sources[slot(metric.provider)];
        const auto& succeeded = source ? std::optional(source->asOf) : m_succeededAt[slot(metric.provider)];
        if (succeeded && *succeeded < asOf)
            asOf = *succeeded;
    }
    if (const auto why = writeWidgetSnapshotFile({asOf, current, primary ? std::optional(primary->id()) : std::nullopt,
                                                  preferences.quotaDisplayMode(), m_sources})) {
        m_storageErrors.append(u"widget snapshot not written: "_s + *why);
        log(u"Widget snapshot not written: "_s + *why);
        return;
    }
    reloadWidgetTimelines();
}

void UsageViewModel::clearHistory()
{
    if (const auto why = HistoryStore::clear()) {
        log(u"History not cleared: "_s + *why);
        return;
    }
    m_history.clear();
    Q_EMIT changed();
}

QCoro::Task<> UsageViewModel::fetchCopilot()
{
    if (isHeldBack(AIProvider::Copilot))
        co_return;
    QPointer<UsageViewModel> self(this);
    auto result = co_await CopilotService::fetchUsage();
    if (!self)
        co_return;
    if (result) {
        m_copilotUsage = std::move(result).value();
        m_copilotError.reset();
        answered(AIProvider::Copilot, nullptr);
    } else {
        m_copilotError = result.error().description();
        answered(AIProvider::Copilot, &result.error());
        log(u"Copilot error: "_s + result.error().debugDescription());
    }
    Q_EMIT changed();
}

QCoro::Task<> UsageViewModel::fetchCodex()
{
    if (isHeldBack(AIProvider::ChatGPT))
        co_return;
    QPointer<UsageViewModel> self(this);
    auto result = co_await CodexService::fetchUsage();
    if (!self)
        co_return;
    if (result) {
        m_codexUsage = std::move(result).value();
        m_lastGoodCodex = m_codexUsage;
        m_codexError.reset();
        m_codexFailure.reset();
        answered(AIProvider::ChatGPT, nullptr);
    } else {
        m_codexError = result.error().description();
        m_codexFailure = m_codexError;
        answered(AIProvider::ChatGPT, &result.error());
        m_codexUsage.reset();
        log(u"Codex error: "_s + result.error().debugDescription());
    }
    Q_EMIT changed();
}

} // namespace tallyvue
