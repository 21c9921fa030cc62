// SPDX-License-Identifier: MIT
// Drawing the popover's Trends tab and opening the details window on a full 14-day history:
// 10,080 snapshots (a refresh every two minutes) of six points, four of them Claude's.
// Prints the median and worst of several runs and the process's memory with the window open.
#include "views/charts/DailySummaryChart.h"
#include "views/charts/RangePicker.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/UsageState.h"
#include "views/details/DetailWindowView.h"
#include "views/popover/TrendsView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1767614400, Qt::UTC);

QList<UsageSnapshot> fullHistory()
{
    QList<UsageSnapshot> history;
    constexpr int kSnapshots = 10080;
    history.reserve(kSnapshots);
    for (int i = 0; i < kSnapshots; ++i) {
        const double hours = i / 30.0;
        const double session = std::fmod(hours, 5.0) * 19.5;
        const double week = std::fmod(hours, 168.0) / 168.0 * 90;
        UsageSnapshot snapshot{kNow.addSecs(-qint64(kSnapshots - i) * 120 + 60), {}};
        snapshot.limits = {
            {AIProvider::Claude, u"session"_s, session, u"5-Hour"_s, kNow.addSecs(3600)},
            {AIProvider::Claude, u"weekly_all"_s, week, u"7-Day"_s, kNow.addDays(2)},
            {AIProvider::Claude, u"weekly_opus"_s, week * 0.7, u"Opus"_s, kNow.addDays(2)},
            {AIProvider::Claude, u"weekly_sonnet"_s, week * 0.4, u"Sonnet"_s, kNow.addDays(2)},
            {AIProvider::ChatGPT, u"primary"_s, session * 0.3, u"5-Hour"_s, kNow.addSecs(3600)},
            {AIProvider::ChatGPT, u"secondary"_s, week * 0.8, u"Weekly"_s, kNow.addDays(4)},
        };
        history.append(std::move(snapshot));
    }
    return history;
}

struct Figures
{
    double median = 0;
    double worst = 0;
};

Figures summarize(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.back()};
}

/// Paints a widget as the screen would, into an image of its size.
void paint(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image);
}

long rssKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QApplication app(argc, argv);
    setViewClock([] { return kNow; });
    const QList<UsageSnapshot> history = fullHistory();
    const long baseline = rssKiB();
    constexpr int kRuns = 15;

    // The data rules alone, to see where the time goes.
    {
        const auto time = [&](const char* what, const std::function<void()>& work) {
            std::vector<double> samples;
            for (int run = 0; run < kRuns; ++run) {
                QElapsedTimer timer;
                timer.start();
                work();
                samples.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
            std::printf("  %s: median %.2f ms\n", what, summarize(samples).median);
        };
        const std::optional<AIProvider> claude = AIProvider::Claude;
        const QStringList shown = Trends::shownSeries(history, claude);
        const ProviderMetric metric{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, kNow.addSecs(3600), 18000.0};
        time("shown series", [&] { Trends::shownSeries(history, claude); });
        time("chart lines 14d", [&] { Trends::chartLines(history, shown, TrendRange::All, kNow, claude); });
        time("daily chart 7 days",
             [&] { Trends::dailyChart(history, AIProvider::Claude, 7, QTimeZone::systemTimeZone(), kNow); });
        time("daily chart 14 days",
             [&] { Trends::dailyChart(history, AIProvider::Claude, 14, QTimeZone::systemTimeZone(), kNow); });
        time("snapshot table 14d", [&] { Trends::snapshotTable(history, TrendRange::All, kNow, claude); });
        time("insight of one metric", [&] { Insights::insight(metric, history, kNow); });
        for (TrendRange range : kAllTrendRanges) {
            UsageHistoryChart chart(180);
            chart.resize(330, chart.sizeHint().height());
            chart.setData(history, range, claude);
            paint(chart);
            time(qPrintable(u"history chart paint "_s + rawValue(range)), [&] { paint(chart); });
        }
        {
            DailySummaryChart chart(7, 140);
            chart.resize(330, chart.sizeHint().height());
            chart.setData(history, AIProvider::Claude);
            time("daily chart paint", [&] { paint(chart); });
        }
    }

    // The Trends tab as the popover makes it: a fresh view per visit, drawn once.
    for (TrendRange range : kAllTrendRanges) {
        std::vector<double> samples;
        for (int run = 0; run < kRuns; ++run) {
            QElapsedTimer timer;
            timer.start();
            TrendsView view(AIProvider::Claude);
            view.setHistory(history);
            view.resize(356, view.sizeHint().height());
            view.show();
            view.rangePicker()->setRange(range); // as a click on the picker does
            paint(view);
            samples.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        const Figures figures = summarize(samples);
        std::printf("trends tab, Claude, %s: median %.1f ms, worst %.1f ms (target < 50 ms)\n",
                    qPrintable(rawValue(range)), figures.median, figures.worst);
    }

    // A redraw after a refresh publishes new history, view already open.
    {
        TrendsView view(AIProvider::Claude);
        view.resize(356, view.sizeHint().height());
        view.show();
        std::vector<double> samples;
        const QList<UsageSnapshot> shorter = history.mid(1);
        for (int run = 0; run < kRuns; ++run) {
            QElapsedTimer timer;
            timer.start();
            view.setHistory(run % 2 ? history : shorter); // a refresh publishes a different list
            paint(view);
            samples.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        const Figures figures = summarize(samples);
        std::printf("trends tab redraw on new history: median %.1f ms, worst %.1f ms\n", figures.median, figures.worst);
    }

    UsageState state;
    state.now = kNow;
    state.history = history;
    state.allMetrics = {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, kNow.addSecs(3600), 18000.0},
                        {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 63, kNow.addDays(2), 604800.0},
                        {AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 12, kNow.addSecs(3600), 18000.0}};

    // First open of the details window on the Claude page, then reopening it.
    Preferences::instance().setDetailPage(WorkspacePage{AIProvider::Claude});
    std::vector<double> opens;
    std::vector<double> reopens;
    std::vector<double> steps[4];
    long withWindow = 0;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        qint64 mark = 0;
        auto step = [&](int index) {
            steps[index].push_back(double(timer.nsecsElapsed() - mark) / 1e6);
            mark = timer.nsecsElapsed();
        };
        DetailWindowView window;
        step(0);
        window.setState(state);
        step(1);
        window.present();
        QCoreApplication::processEvents();
        step(2);
        paint(window);
        step(3);
        opens.push_back(double(timer.nsecsElapsed()) / 1e6);
        withWindow = std::max(withWindow, rssKiB());

        window.hide();
        QCoreApplication::processEvents();
        timer.restart();
        window.present();
        QCoreApplication::processEvents();
        paint(window);
        reopens.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const char* stepNames[4] = {"construct", "state (hidden)", "show and first layout", "paint"};
    for (int i = 0; i < 4; ++i)
        std::printf("  details window %s: median %.1f ms\n", stepNames[i], summarize(steps[i]).median);
    const Figures open = summarize(opens);
    const Figures reopen = summarize(reopens);
    std::printf("details window open (Claude page, 960x660): median %.1f ms, worst %.1f ms (target < 150 ms)\n",
                open.median, open.worst);
    std::printf("details window reopen: median %.1f ms, worst %.1f ms\n", reopen.median, reopen.worst);
    std::printf("memory: %ld KiB resident with the history loaded, %ld KiB with the window open\n", baseline,
                withWindow);
    return 0;
}
