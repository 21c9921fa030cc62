// SPDX-License-Identifier: MIT
// The details window.
#include "shell/gallery/Gallery.h"

#include "alerts/ThresholdAlerts.h"
#include "local/ComputerMonth.h"
#include "model/ClaudeMetrics.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "shell/TrayLabel.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/Style.h"
#include "views/details/ComputerPage.h"
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

/// The details window on one page, scrolled to `scroll` (0 top, 1 bottom).
bool renderDetails(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
                   double scroll)
{
    Preferences::instance().setDetailPage(page);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    DetailWindowView window;
    window.setState(state);
    window.show();
    for (int pass = 0; pass < 6; ++pass)
        QApplication::processEvents();
    if (auto* area = window.findChild<QScrollArea*>(u"detailColumn"_s)) {
        area->verticalScrollBar()->setValue(int(scroll * area->verticalScrollBar()->maximum()));
        QApplication::processEvents();
    }
    const QImage image = window.grab().toImage();
    window.hide();
    return save(image, dir + u"/details-"_s + name + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

namespace {

/// Six months of requests, busier lately, with a quiet stretch and an unpriced model.
ReportEvents sampleReportEvents()
{
    ReportEvents out;
    out.sessions.push_back({u"sample"_s, {}, AIProvider::Claude});
    quint32 seed = 777;
    const auto next = [&seed](quint32 bound) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % bound;
    };
    const char* claudeModels[] = {"claude-opus-4-1-20250805", "claude-sonnet-4-5-20250929", "claude-haiku-4-5",
                                  "claude-experimental"};
    for (qint64 minutes = 180 * 24 * 60; minutes > 0; minutes -= 23) {
        const QDateTime at = kNow.addSecs(-minutes * 60);
        const qint64 day = minutes / (24 * 60);
        if (at.time().hour() < 8 || at.time().hour() > 20 || (day >= 40 && day < 52) || next(day > 60 ? 6u : 2u) != 0)
            continue;
        LocalUsageEvent e;
        const bool codex = next(4) == 0;
        e.provider = codex ? AIProvider::ChatGPT : AIProvider::Claude;
        e.timestamp = at.toMSecsSinceEpoch();
        e.model = InternedString(std::string_view(codex ? "gpt-5-codex" : claudeModels[next(31) % 4]));
        e.project = InternedString(std::string_view("tallyvue"));
        e.inputTokens = 200 + next(4000);
        e.outputTokens = 100 + next(3000);
        e.cacheCreationTokens = codex ? 0 : next(9000);
        e.cacheReadTokens = 5000 + next(60000);
        out.events.push_back({e, 0});
    }
    return out;
}

} // namespace

/// The This Computer page with six months of sample requests, or with none.
bool renderComputer(const QString& dir, const QString& name, bool dark, const UsageState& state, bool empty)
{
    Preferences::instance().setDetailPage(WorkspacePage{std::nullopt, true});
    DetailWindowView window;
    window.setState(state);
    window.show();
    for (int pass = 0; pass < 6; ++pass)
        QApplication::processEvents();
    auto* page = window.findChild<ComputerPage*>();
    if (!page)
        return false;
    page->setMonth(ComputerMonth::build(empty ? ReportEvents{} : sampleReportEvents(), kNow, QTimeZone::utc()));
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    const QImage image = window.grab().toImage();
    window.hide();
    const QString scale = qApp->devicePixelRatio() > 1 ? u"@2x"_s : QString();
    return save(image, dir + u"/details-"_s + name + scale + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

} // namespace tallyvue::gallery
