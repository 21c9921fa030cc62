// SPDX-License-Identifier: MIT
// tallyvue-gallery DIR: draws, offscreen and from fixed sample data, the tray icons in every
// style and level, each popover page and state, the Trends tab and the details window, light and
// dark, as PNG files in DIR.
#include "model/ClaudeMetrics.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "shell/TrayLabel.h"
#include "views/DetailWindowView.h"
#include "views/MenuBarView.h"
#include "views/Style.h"
#include "views/TrendsView.h"
#include "views/UsageHistoryChart.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <ctime>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

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

QPalette themePalette(bool dark)
{
    QPalette palette;
    const QColor window = dark ? QColor(0x1E1E20) : QColor(0xEDEDF0);
    const QColor text = dark ? QColor(0xF2F2F7) : QColor(0x1D1D1F);
    const QColor base = dark ? QColor(0x2A2A2D) : QColor(0xFFFFFF);
    for (auto role : {QPalette::Window, QPalette::Button})
        palette.setColor(role, window);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Highlight, QColor(0x0A84FF));
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    return palette;
}

/// A backdrop like a desktop behind the panel, so the rounded corners read as they will.
QImage onBackdrop(const QImage& panel, bool dark)
{
    const int pad = 24;
    QImage canvas(panel.width() + 2 * pad * int(panel.devicePixelRatio()),
                  panel.height() + 2 * pad * int(panel.devicePixelRatio()), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(panel.devicePixelRatio());
    QPainter painter(&canvas);
    QLinearGradient gradient(0, 0, canvas.width(), canvas.height());
    gradient.setColorAt(0, dark ? QColor(0x232946) : QColor(0xA8C0FF));
    gradient.setColorAt(1, dark ? QColor(0x3B1F4A) : QColor(0xF5D0E6));
    painter.fillRect(QRectF(0, 0, canvas.width(), canvas.height()), gradient);
    painter.drawImage(QPointF(pad, pad), panel);
    return canvas;
}

bool save(const QImage& image, const QString& path)
{
    if (!image.save(path)) {
        std::fprintf(stderr, "tallyvue-gallery: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool renderPopover(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
                   QuotaDisplayMode mode = QuotaDisplayMode::Used)
{
    Preferences::instance().setSelectedPage(page);
    Preferences::instance().setSelectedTab(AppTab::Models);
    Preferences::instance().setQuotaDisplayMode(mode);
    MenuBarView view;
    view.setState(state);
    view.show();
    // Let the nested layouts and the scroll area settle (each pass posts the next request).
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    const QImage image = onBackdrop(view.grab().toImage(), dark);
    view.hide();
    return save(image, dir + u"/popover-"_s + name + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

/// The Trends tab of a provider; `hover` puts the pointer an hour and a quarter ago.
bool renderTrends(const QString& dir, const QString& name, bool dark, const UsageState& state, AIProvider provider,
                  bool hover = false)
{
    Preferences::instance().setSelectedPage(WorkspacePage{provider});
    Preferences::instance().setSelectedTab(AppTab::Trends);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    MenuBarView view;
    view.setState(state);
    view.show();
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    if (auto* trends = qobject_cast<TrendsView*>(view.content()); trends && hover)
        trends->historyChart()->setSelectedDate(kNow.addSecs(-75 * 60));
    const QImage image = onBackdrop(view.grab().toImage(), dark);
    view.hide();
    return save(image, dir + u"/trends-"_s + name + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

/// The details window on one page, scrolled to `scroll` (0 top, 1 bottom).
bool renderDetails(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
                   double scroll = 0)
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

/// Every style and level of the tray label on a dark and a light panel, text beside the icon.
bool renderTrayIcons(const QString& dir)
{
    struct Row
    {
        const char* caption;
        MenuBarStyle style;
        double percent;
        bool monochrome;
        QuotaDisplayMode mode;
        bool data;
    };
    const Row rows[] = {
        {"percent, green", MenuBarStyle::Percent, 42.7, false, QuotaDisplayMode::Used, true},
        {"percent, yellow", MenuBarStyle::Percent, 63, false, QuotaDisplayMode::Used, true},
        {"percent, red", MenuBarStyle::Percent, 93, false, QuotaDisplayMode::Used, true},
        {"percent, monochrome", MenuBarStyle::Percent, 93, true, QuotaDisplayMode::Used, true},
        {"icon only, red", MenuBarStyle::IconOnly, 93, false, QuotaDisplayMode::Used, true},
        {"ring 0 %", MenuBarStyle::Ring, 0, false, QuotaDisplayMode::Used, true},
        {"ring 42 %", MenuBarStyle::Ring, 42.7, false, QuotaDisplayMode::Used, true},
        {"ring 63 %", MenuBarStyle::Ring, 63, false, QuotaDisplayMode::Used, true},
        {"ring 100 %", MenuBarStyle::Ring, 100, false, QuotaDisplayMode::Used, true},
        {"ring remaining (90 used)", MenuBarStyle::Ring, 90, false, QuotaDisplayMode::Remaining, true},
        {"ring monochrome", MenuBarStyle::Ring, 63, true, QuotaDisplayMode::Used, true},
        {"no data", MenuBarStyle::Percent, 0, false, QuotaDisplayMode::Used, false},
    };
    const qreal dpr = 2;
    const int rowHeight = 32;
    const int width = 660;
    QImage canvas(int(width * dpr), int(rowHeight * std::size(rows) * dpr), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(dpr);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont labelFont = QApplication::font();
    labelFont.setPixelSize(13);
    labelFont.setWeight(QFont::DemiBold);
    QFont captionFont = QApplication::font();
    captionFont.setPixelSize(11);
    int y = 0;
    for (const Row& row : rows) {
        QList<ProviderMetric> metrics;
        if (row.data) {
            metrics = {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, row.percent, kNow.addSecs(7500), 18000},
                       {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 63, kNow.addSecs(86400 * 3), 604800}};
        }
        const TrayLabel label = makeTrayLabel(
            metrics, {{}, {}, row.style, row.monochrome, row.style == MenuBarStyle::Ring, row.mode}, kNow);
        painter.setPen(QColor(0x555555));
        painter.setFont(captionFont);
        painter.drawText(QRectF(8, y, 170, rowHeight), Qt::AlignVCenter, QString::fromUtf8(row.caption));
        for (int panel = 0; panel < 2; ++panel) {
            const bool darkPanel = panel == 0;
            const QRectF bar(180 + panel * 240, y + 3, 230, rowHeight - 6);
            painter.setPen(Qt::NoPen);
            painter.setBrush(darkPanel ? QColor(0x1C1C1E) : QColor(0xF3F3F3));
            painter.drawRoundedRect(bar, 6, 6);
            const QColor foreground = darkPanel ? QColor(0xF2F2F2) : QColor(0x1D1D1F);
            const QImage icon = renderTrayImage(label, 22, dpr, foreground);
            painter.drawImage(QPointF(bar.left() + 6, bar.top() + (bar.height() - 22) / 2), icon);
            painter.setPen(foreground);
            painter.setFont(labelFont);
            painter.drawText(QRectF(bar.left() + 32, bar.top(), bar.width() - 36, bar.height()), Qt::AlignVCenter,
                             label.text);
        }
        y += rowHeight;
    }
    return save(canvas, dir + u"/tray-icons.png"_s);
}

/// Pins the fonts to DejaVu so that pictures are the same on every machine that has it.
void pinFonts(const QTemporaryDir& sandbox)
{
    const QString dejavu = u"/usr/share/fonts/truetype/dejavu"_s;
    if (!QDir(dejavu).exists())
        return;
    const QString config = sandbox.path() + u"/fonts.conf"_s;
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig><dir>" + dejavu.toUtf8() +
               "</dir><include ignore_missing=\"yes\">/etc/fonts/conf.d</include></fontconfig>");
    file.close();
    qputenv("FONTCONFIG_FILE", config.toUtf8());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tallyvue-gallery DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "tallyvue-gallery: cannot create %s\n", argv[1]);
        return 1;
    }
    // Offscreen, in UTC, with preferences of its own: never the user's.
    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return 1;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC");
    tzset();
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + u"/config"_s).toUtf8());
    qputenv("XDG_DATA_HOME", (sandbox.path() + u"/data"_s).toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    pinFonts(sandbox);

    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"Tallyvue"_s);
    QApplication::setApplicationName(u"Tallyvue"_s);
    QFont font(u"DejaVu Sans"_s);
    font.setPointSizeF(10);
    QApplication::setFont(font);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    style::setUseThemeSymbols(false);
    setViewClock([] { return kNow; });

    bool ok = renderTrayIcons(dir);
    const WorkspacePage claude{AIProvider::Claude};
    const WorkspacePage chatgpt{AIProvider::ChatGPT};
    const WorkspacePage copilot{AIProvider::Copilot};
    for (bool dark : {false, true}) {
        QApplication::setPalette(themePalette(dark));
        const UsageState full = makeState(true, true, true);
        UsageState failed = makeState(false, false, false);
        failed.errorMessage = u"Claude Code credentials were not found. Sign in with `claude` first."_s;
        failed.codexError = u"The ChatGPT session expired. Run `codex login` again."_s;
        failed.copilotError = u"No GitHub Copilot sign-in was found on this computer."_s;
        UsageState loading = makeState(false, false, false);
        loading.isLoading = true;
        UsageState partial = makeState(true, false, false);
        partial.codexError = failed.codexError;

        ok &= renderPopover(dir, u"claude"_s, dark, full, claude);
        ok &= renderPopover(dir, u"claude-remaining"_s, dark, full, claude, QuotaDisplayMode::Remaining);
        ok &= renderPopover(dir, u"claude-error"_s, dark, failed, claude);
        ok &= renderPopover(dir, u"claude-loading"_s, dark, loading, claude);
        ok &= renderPopover(dir, u"chatgpt"_s, dark, full, chatgpt);
        ok &= renderPopover(dir, u"chatgpt-unavailable"_s, dark, failed, chatgpt);
        ok &= renderPopover(dir, u"copilot"_s, dark, full, copilot);
        ok &= renderPopover(dir, u"copilot-unavailable"_s, dark, failed, copilot);
        ok &= renderPopover(dir, u"overview"_s, dark, full, WorkspacePage{});
        ok &= renderPopover(dir, u"overview-partial"_s, dark, partial, WorkspacePage{});

        UsageState twoWeeks = full;
        twoWeeks.history = twoWeekHistory();
        UsageState noHistory = full;
        noHistory.history.clear();
        ok &= renderTrends(dir, u"claude"_s, dark, twoWeeks, AIProvider::Claude);
        ok &= renderTrends(dir, u"claude-hover"_s, dark, twoWeeks, AIProvider::Claude, true);
        ok &= renderTrends(dir, u"chatgpt"_s, dark, twoWeeks, AIProvider::ChatGPT);
        ok &= renderTrends(dir, u"empty"_s, dark, noHistory, AIProvider::Claude);
        ok &= renderDetails(dir, u"overview"_s, dark, twoWeeks, WorkspacePage{});
        ok &= renderDetails(dir, u"claude"_s, dark, twoWeeks, claude);
        ok &= renderDetails(dir, u"claude-bottom"_s, dark, twoWeeks, claude, 1);
        ok &= renderDetails(dir, u"chatgpt"_s, dark, twoWeeks, chatgpt);
        ok &= renderDetails(dir, u"copilot"_s, dark, twoWeeks, copilot);
        ok &= renderDetails(dir, u"empty"_s, dark, noHistory, claude, 1);
        UsageState unavailable = twoWeeks;
        unavailable.copilotUsage.reset();
        unavailable.allMetrics = unavailable.metrics(AIProvider::Claude) + unavailable.metrics(AIProvider::ChatGPT);
        unavailable.copilotError = failed.copilotError;
        ok &= renderDetails(dir, u"copilot-unavailable"_s, dark, unavailable, copilot);
    }
    return ok ? 0 : 1;
}
