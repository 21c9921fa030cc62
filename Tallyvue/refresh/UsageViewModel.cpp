// SPDX-License-Identifier: MIT
#include "refresh/UsageViewModel.h"

#include "alerts/ThresholdAlerts.h"
#include "model/ClaudeMetrics.h"
#include "model/Log.h"
#include "model/MenuBarLabelText.h"
#include "model/Preferences.h"
#include "providers/UsageService.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QLocale>
#include <QPointer>

#include <qcoro/qcorotimer.h>

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
    if (!options.startLoops)
        return;
    startAutoRefresh();
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
    if (m_usage)
        all += claudeMetrics(*m_usage);
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

    m_isLoading = true;
    m_errorMessage.reset();
    Q_EMIT changed();

    // Both start at once and run beside the Claude fetch.
    QCoro::Task<> copilot = fetchCopilot();
    QCoro::Task<> codex = fetchCodex();

    auto claude = co_await fetchClaude();
    if (!self)
        co_return;
    if (claude) {
        storeClaudeSuccess(std::move(claude).value());
        log(u"Usage refreshed at "_s + QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
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
            log(u"Retry failed: "_s + retry.error().debugDescription());
        }
    } else {
        m_errorMessage = claude.error().description();
        log(u"Error: "_s + claude.error().debugDescription());
    }
    Q_EMIT changed();

    co_await copilot;
    co_await codex;
    if (!self)
        co_return;

    auto events = co_await LocalUsageScanner::shared().scan(currentTime());
    if (!self)
        co_return;
    m_localUsage = std::make_shared<const std::vector<LocalUsageEvent>>(std::move(events));

    const QList<ProviderMetric> current = allMetrics();
    // A provider that failed in this refresh still shows its last values, but they are not
    // recorded again as if they were new.
    QList<ProviderMetric> fresh;
    for (const ProviderMetric& metric : current) {
        const std::optional<QString>& error = metric.provider == AIProvider::Claude    ? m_errorMessage
                                              : metric.provider == AIProvider::ChatGPT ? m_codexError
                                                                                       : m_copilotError;
        if (!error)
            fresh.append(metric);
    }
    m_storageErrors.clear();
    if (const auto why = HistoryStore::record(fresh, currentTime())) {
        // The history in memory stays as it was.
        m_storageErrors.append(u"history not recorded: "_s + *why);
        log(u"History not recorded: "_s + *why);
    } else if (!fresh.isEmpty()) {
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
    m_lastUpdated = currentTime();
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
    if (const auto why = writeWidgetSnapshotFile({currentTime(), current,
                                                  primary ? std::optional(primary->id()) : std::nullopt,
                                                  preferences.quotaDisplayMode()})) {
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
    QPointer<UsageViewModel> self(this);
    auto result = co_await CopilotService::fetchUsage();
    if (!self)
        co_return;
    if (result) {
        m_copilotUsage = std::move(result).value();
        m_copilotError.reset();
    } else {
        m_copilotError = result.error().description();
        log(u"Copilot error: "_s + result.error().debugDescription());
    }
    Q_EMIT changed();
}

QCoro::Task<> UsageViewModel::fetchCodex()
{
    QPointer<UsageViewModel> self(this);
    auto result = co_await CodexService::fetchUsage();
    if (!self)
        co_return;
    if (result) {
        m_codexUsage = std::move(result).value();
        m_codexError.reset();
    } else {
        m_codexError = result.error().description();
        m_codexUsage.reset();
        log(u"Codex error: "_s + result.error().debugDescription());
    }
    Q_EMIT changed();
}

} // namespace tallyvue
