// SPDX-License-Identifier: MIT
// Fixed sample data: three providers, their history and eight days of transcripts.
#include "shell/gallery/Gallery.h"

#include "alerts/ThresholdAlerts.h"
#include "model/ClaudeMetrics.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "shell/TrayLabel.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/Style.h"
#include "views/details/DetailWindowView.h"
#include "views/local/ComputerName.h"
#include "views/popover/MenuBarView.h"
#include "views/popover/TrendsView.h"
#include "views/settings/SettingsView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

namespace tallyvue::gallery {

const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);

QString iso(const QDateTime& date)
{
    return date.toUTC().toString(Qt::ISODate);
}

UsageResponse sampleClaude()
{
    UsageResponse usage;
    usage.fiveHour = UsageWindow{42.7, iso(kNow.addSecs(2 * 3600 + 5 * 60))};
    usage.sevenDay = UsageWindow{63, iso(kNow.addSecs(3 * 86400 + 4 * 3600))};
    usage.sevenDaySonnet = UsageWindow{28, std::nullopt};
    usage.sevenDayOpus = UsageWindow{71, std::nullopt};
    usage.extraUsage = ExtraUsage{true, 50.0, 12.5, 25.0};
    return usage;
}

CodexUsage sampleCodex()
{
    CodexUsage usage;
    usage.plan = u"plus"_s;
    usage.fetchedAt = kNow;
    usage.windows = {
        {u"primary"_s, u"5-Hour"_s, 17, 3 * 3600 + 20 * 60, 300},
        {u"secondary"_s, u"Weekly"_s, 86, 2 * 86400, 10080},
    };
    usage.creditBalance = 4.2;
    return usage;
}

CopilotUsage sampleCopilot()
{
    CopilotUsage usage;
    usage.plan = u"individual_pro"_s;
    usage.resetDate = u"2026-02-01"_s;
    usage.quotas = {
        {u"chat"_s, u"Chat"_s, true, 100, 0, 0},
        {u"completions"_s, u"Completions"_s, true, 100, 0, 0},
        {u"premium_interactions"_s, u"Premium Requests"_s, false, 60, 120, 300},
    };
    return usage;
}

/// Three hours of refreshes: the 5-hour window climbing about 8 points an hour, the week slowly.
QList<UsageSnapshot> sampleHistory()
{
    QList<UsageSnapshot> history;
    for (int minutes = 180; minutes >= 10; minutes -= 10) {
        const QDateTime when = kNow.addSecs(-minutes * 60);
        const double hoursAgo = minutes / 60.0;
        UsageSnapshot snapshot{when, {}};
        snapshot.limits.append({AIProvider::Claude, u"session"_s, std::max(0.0, 42.7 - 8.2 * hoursAgo), {}, {}});
        snapshot.limits.append({AIProvider::Claude, u"weekly_all"_s, 63 - 0.5 * hoursAgo, {}, {}});
        snapshot.limits.append({AIProvider::ChatGPT, u"primary"_s, 17 + 0.2 * hoursAgo, {}, {}});
        snapshot.limits.append({AIProvider::ChatGPT, u"secondary"_s, 86 - 1.5 * hoursAgo, {}, {}});
        snapshot.limits.append({AIProvider::Copilot, u"premium_interactions"_s, 40 - 2 * hoursAgo, {}, {}});
        history.append(snapshot);
    }
    return history;
}

/// Eight days of this computer's transcripts: busy working hours, two tools, a handful of
/// projects and models, from a fixed seed.
std::shared_ptr<const std::vector<LocalUsageEvent>> sampleEvents()
{
    static const auto events = [] {
        std::vector<LocalUsageEvent> out;
        quint32 seed = 12345;
        const auto next = [&seed](quint32 bound) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % bound;
        };
        const char* claudeModels[] = {"claude-opus-4-1-20250805", "claude-sonnet-4-5-20250929", "claude-haiku-4-5"};
        const char* codexModels[] = {"gpt-5-codex", "gpt-5"};
        const char* projects[] = {"tallyvue", "website", "infra", "notes", "data-pipeline", "dotfiles", "api-gateway"};
        for (qint64 minutes = 8 * 24 * 60; minutes > 0; minutes -= 7) {
            const QDateTime at = kNow.addSecs(-minutes * 60);
            const int hour = at.time().hour();
            if (hour < 7 || hour > 21 || next(3) == 0)
                continue;
            LocalUsageEvent e;
            const bool codex = next(4) == 0;
            e.provider = codex ? AIProvider::ChatGPT : AIProvider::Claude;
            e.timestamp = at.toMSecsSinceEpoch();
            e.model = InternedString(std::string_view(codex ? codexModels[next(2)] : claudeModels[next(5) % 3]));
            e.project = InternedString(std::string_view(projects[next(7) * next(7) / 7]));
            e.inputTokens = 200 + next(4000);
            e.outputTokens = 100 + next(3000);
            e.cacheCreationTokens = codex ? 0 : next(9000);
            e.cacheReadTokens = 5000 + next(60000);
            out.push_back(e);
        }
        return std::make_shared<const std::vector<LocalUsageEvent>>(std::move(out));
    }();
    return events;
}

/// Two weeks of refreshes every 20 minutes: the 5-hour windows climb and reset, the weekly ones
/// rise through the week, and on two days Claude's 5-hour window runs into its limit.
QList<UsageSnapshot> twoWeekHistory()
{
    QList<UsageSnapshot> history;
    const qint64 step = 20 * 60;
    for (qint64 ago = 14 * 86400 - step; ago >= 0; ago -= step) {
        const QDateTime when = kNow.addSecs(-ago);
        const double hours = double(14 * 86400 - ago) / 3600.0;
        const int day = int(hours / 24);
        const double inSession = std::fmod(hours, 5.0) / 5.0;
        const double daytime = std::sin(std::fmod(hours, 24.0) / 24.0 * 3.14159) * 0.6 + 0.4;
        const double peak = day == 5 || day == 11 ? 112 : 35 + 8 * (day % 4);
        const double session = std::min(100.0, inSession * peak * daytime);
        const double week = std::fmod(hours + 60, 168.0) / 168.0;
        UsageSnapshot snapshot{when, {}};
        snapshot.limits.append({AIProvider::Claude, u"session"_s, std::round(session * 10) / 10, {}, {}});
        snapshot.limits.append({AIProvider::Claude, u"weekly_all"_s, std::round(week * 78 * 10) / 10, {}, {}});
        snapshot.limits.append({AIProvider::Claude, u"weekly_opus"_s, std::round(week * 64), u"Opus"_s, {}});
        snapshot.limits.append(
            {AIProvider::ChatGPT, u"primary"_s, std::round(inSession * 30 * daytime), u"5-Hour"_s, {}});
        snapshot.limits.append({AIProvider::ChatGPT, u"secondary"_s, std::round(week * 90), u"Weekly"_s, {}});
        snapshot.limits.append({AIProvider::Copilot, u"premium_interactions"_s, std::round(hours / 336 * 40), {}, {}});
        history.append(snapshot);
    }
    return history;
}

UsageState makeState(bool claude, bool codex, bool copilot)
{
    UsageState state;
    state.now = kNow;
    state.localUsage = sampleEvents();
    state.history = sampleHistory();
    if (claude) {
        state.usage = sampleClaude();
        state.lastUpdated = kNow.addSecs(-120);
        state.allMetrics += claudeMetrics(*state.usage);
    }
    if (codex) {
        state.codexUsage = sampleCodex();
        state.allMetrics += codexMetrics(*state.codexUsage);
    }
    if (copilot) {
        state.copilotUsage = sampleCopilot();
        state.allMetrics += copilotMetrics(*state.copilotUsage);
    }
    return state;
}

} // namespace tallyvue::gallery
