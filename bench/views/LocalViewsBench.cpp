// SPDX-License-Identifier: MIT
// bench_local_views [EVENTS]: 200,000 events (or EVENTS) over 8 days, then
//   - the aggregations behind the This Computer tab (all providers, one provider, 24h) and the
//     Stats tab's local card,
//   - the This Computer tab's first paint: popover created, state handed over, laid out and
//     drawn (a grab), which includes the one aggregation,
//   - a repaint with the same scan result, which must not aggregate again.
// The aggregations are measured with and without prices, for what the API value costs.
// Median and worst of several runs, offscreen. PROFILE=switch or PROFILE=view repeats that one
// step many times, for a profiler.
#include "local/LocalOverviewModel.h"
#include "local/LocalUsageCardModel.h"
#include "model/Preferences.h"
#include "views/local/ComputerName.h"
#include "views/local/LocalOverviewView.h"
#include "views/popover/MenuBarView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <time.h>
#include <vector>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = QDateTime::fromString(u"2026-01-05T12:00:00Z"_s, Qt::ISODate);

std::shared_ptr<const std::vector<LocalUsageEvent>> heavyWeek(int count)
{
    std::vector<LocalUsageEvent> events;
    events.reserve(std::size_t(count));
    const EpochMs span = 8LL * 86'400'000;
    const EpochMs first = kNow.toMSecsSinceEpoch() - span;
    std::vector<InternedString> models, projects;
    for (const char* m : {"claude-opus-4-1-20250805", "claude-sonnet-4-5-20250929", "claude-haiku-4-5", "gpt-5-codex",
                          "gpt-5", "claude-opus-4-1"})
        models.emplace_back(std::string_view(m));
    for (int p = 0; p < 40; ++p)
        projects.emplace_back(std::string_view("project-" + std::to_string(p)));
    quint32 seed = 7;
    const auto next = [&seed](quint32 bound) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % bound;
    };
    for (int i = 0; i < count; ++i) {
        LocalUsageEvent e;
        e.timestamp = first + span * i / count;
        e.provider = next(4) == 0 ? AIProvider::ChatGPT : AIProvider::Claude;
        e.model = models[next(6)];
        e.project = projects[next(40) * next(40) / 40];
        e.inputTokens = next(5000);
        e.outputTokens = next(3000);
        e.cacheCreationTokens = next(8000);
        e.cacheReadTokens = next(90000);
        events.push_back(e);
    }
    return std::make_shared<const std::vector<LocalUsageEvent>>(std::move(events));
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

/// Wall time and this thread's processor time: on a busy machine the second is the fair figure.
void report(const char* what, int runs, const std::function<void()>& run, const std::function<void()>& reset = {})
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i) {
        if (reset)
            reset();
        QElapsedTimer timer;
        const double cpuStart = threadCpuMs();
        timer.start();
        run();
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-56s wall median %7.2f worst %7.2f | cpu median %7.2f worst %7.2f ms (%d runs)\n", what,
                wall[wall.size() / 2], wall.back(), cpu[cpu.size() / 2], cpu.back(), runs);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir sandbox;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + u"/config"_s).toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"TallyvueBench"_s);
    QApplication::setApplicationName(u"TallyvueBench"_s);
    const int count = argc > 1 ? std::atoi(argv[1]) : 200'000;
    setViewClock([] { return kNow; });
    ComputerName::instance().setName(u"bench"_s);

    const auto events = heavyWeek(count);
    const bool profileSwitch = qgetenv("PROFILE") == "switch";
    std::printf("%d events over 8 days\n", count);
    const QList<ProviderMetric> metrics{
        {AIProvider::Claude, u"session"_s, u"5-Hour"_s, 40, kNow.addSecs(3600), 18000},
        {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 60, kNow.addSecs(86400), 604800}};
    report("aggregate: overview, all providers, 7d", 15,
           [&] { LocalOverviewData::build(*events, std::nullopt, LocalRange::Week, kNow, 6); });
    report("aggregate: overview, Claude, 7d", 15,
           [&] { LocalOverviewData::build(*events, AIProvider::Claude, LocalRange::Week, kNow, 6); });
    report("aggregate: overview, Claude, 24h", 15,
           [&] { LocalOverviewData::build(*events, AIProvider::Claude, LocalRange::Day, kNow, 6); });
    report("aggregate: Stats tab local card, Claude", 15,
           [&] { LocalUsageCardData::build(*events, AIProvider::Claude, metrics, kNow); });
    // The same without a price for any model: the difference is what the API value costs.
    const PriceTable noPrices;
    report("aggregate: overview, all providers, 7d, no prices", 15,
           [&] { LocalOverviewData::build(*events, std::nullopt, LocalRange::Week, kNow, 6, noPrices); });
    report("aggregate: Stats tab local card, Claude, no prices", 15,
           [&] { LocalUsageCardData::build(*events, AIProvider::Claude, metrics, kNow, noPrices); });

    UsageState state;
    state.now = kNow;
    state.localUsage = events;
    state.allMetrics = metrics;
    Preferences::instance().setSelectedPage({AIProvider::Claude});
    Preferences::instance().setSelectedTab(AppTab::ThisMac);
    {
        // The first popover of a process also loads fonts and symbols: shown apart.
        MenuBarView warm;
        warm.setState(state);
        warm.show();
        warm.grab();
    }
    report("first paint: This Computer tab (popover, state, layout, draw)", 9, [&] {
        MenuBarView view;
        view.setState(state);
        view.show();
        view.grab();
    });
    // The popover lives for the whole process: what the user waits for is the switch to the
    // tab, with its one aggregation, layout and drawing.
    Preferences::instance().setSelectedTab(AppTab::Models);
    MenuBarView view;
    view.setState(state);
    view.show();
    view.grab();
    report(
        "tab switch: Models -> This Computer, drawn", profileSwitch ? 60 : 9,
        [&] {
            Preferences::instance().setSelectedTab(AppTab::ThisMac);
            view.grab();
        },
        [&] {
            Preferences::instance().setSelectedTab(AppTab::Models);
            view.grab();
            QApplication::processEvents();
        });
    {
        // The same switch over a small scan: what the popover's own page change costs.
        UsageState small = state;
        small.localUsage = std::make_shared<const std::vector<LocalUsageEvent>>(events->begin(), events->begin() + 50);
        view.setState(small);
        report(
            "tab switch with 50 events (the popover's own share)", 9,
            [&] {
                Preferences::instance().setSelectedTab(AppTab::ThisMac);
                view.grab();
            },
            [&] {
                Preferences::instance().setSelectedTab(AppTab::Models);
                view.grab();
                QApplication::processEvents();
            });
        view.setState(state);
    }
    Preferences::instance().setSelectedTab(AppTab::ThisMac);
    view.grab();
    report("the tab's view alone: created, laid out, drawn", qgetenv("PROFILE") == "view" ? 80 : 9, [&] {
        LocalOverviewView local(AIProvider::Claude, true);
        local.setState(state);
        local.resize(356, local.sizeHint().height());
        local.grab();
    });
    UsageState empty = state;
    empty.localUsage = std::make_shared<const std::vector<LocalUsageEvent>>(events->begin(), events->begin() + 50);
    report("the same with 50 events (drawing without the aggregation)", 9, [&] {
        LocalOverviewView local(AIProvider::Claude, true);
        local.setState(empty);
        local.resize(356, local.sizeHint().height());
        local.grab();
    });
    const int before = static_cast<LocalOverviewView*>(view.content())->aggregations();
    report("repaint: same scan result (no aggregation)", 15, [&] {
        view.setState(state);
        view.content()->repaint();
    });
    std::printf("aggregations during repaints: %d\n",
                static_cast<LocalOverviewView*>(view.content())->aggregations() - before);
    return 0;
}
