// SPDX-License-Identifier: MIT
// tallyvue-gallery DIR: draws, offscreen and from fixed sample data, the tray icons in every
// style and level, each popover page and state, the Trends tab and the details window, light and
// dark, as PNG files in DIR.
#include "alerts/ThresholdAlerts.h"
#include "model/ClaudeMetrics.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "shell/TrayLabel.h"
#include "shell/gallery/StateScenes.h"
#include "views/ComputerName.h"
#include "views/DetailWindowView.h"
#include "views/MenuBarView.h"
#include "views/SettingsView.h"
#include "views/Style.h"
#include "views/TrendsView.h"
#include "views/UsageHistoryChart.h"

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
                   QuotaDisplayMode mode = QuotaDisplayMode::Used, AppTab tab = AppTab::Models)
{
    Preferences::instance().setSelectedPage(page);
    Preferences::instance().setSelectedTab(tab);
    Preferences::instance().setQuotaDisplayMode(mode);
    MenuBarView view;
    view.setState(state);
    view.show();
    // Let the nested layouts and the scroll area settle (each pass posts the next request).
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    const QImage image = onBackdrop(view.grab().toImage(), dark);
    view.hide();
    const QString scale = qApp->devicePixelRatio() > 1 ? u"@2x"_s : QString();
    return save(image, dir + u"/popover-"_s + name + scale + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

/**
 * A tab of the popover as the user sees it and, beside it, its whole content unscrolled (the
 * parts below the fold: the Overview's local usage, long cards). `expand` clicks the local card.
 */
bool renderTab(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
               AppTab tab, bool expand = false)
{
    Preferences::instance().setSelectedPage(page);
    Preferences::instance().setSelectedTab(tab);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    MenuBarView view;
    view.setState(state);
    view.show();
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    if (expand) {
        if (QWidget* card = view.content()->findChild<QWidget*>(u"localUsageCard"_s)) {
            QMouseEvent press(QEvent::MouseButtonRelease, QPointF(10, 10), card->mapToGlobal(QPointF(10, 10)),
                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(card, &press);
        }
        for (int pass = 0; pass < 4; ++pass)
            QApplication::processEvents();
    }
    const QImage popover = onBackdrop(view.grab().toImage(), dark);
    QWidget* content = view.content();
    const int width = content->width();
    const int height = content->hasHeightForWidth() ? content->heightForWidth(width) : -1;
    const QSize full(width, std::max(height, content->sizeHint().height()));
    content->resize(full);
    for (int pass = 0; pass < 2; ++pass)
        QApplication::processEvents();
    const QImage whole = content->grab().toImage();
    view.hide();
    const qreal dpr = popover.devicePixelRatio();
    QImage sheet(popover.width() + int((whole.width() / whole.devicePixelRatio() + 24) * dpr),
                 std::max(popover.height(), int((whole.height() / whole.devicePixelRatio() + 48) * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(style::panelColor(QApplication::palette()));
    QPainter painter(&sheet);
    painter.drawImage(QPointF(0, 0), popover);
    painter.drawImage(QPointF(popover.width() / dpr + 12, 24), whole);
    painter.end();
    const QString scale = dpr > 1 ? u"@2x"_s : QString();
    return save(sheet, dir + u'/' + name + scale + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

/// A notification service with fixed answers, for the alert states of the settings panel.
class GalleryNotifier : public AlertNotifier
{
public:
    void post(const AlertNotification&) override {}
    QCoro::Task<NotificationAuthorization> authorizationStatus() override { co_return status; }
    QCoro::Task<ShowPreviews> showPreviewsSetting() override { co_return previews; }
    QCoro::Task<Result<bool, QString>> requestAuthorization() override { co_return true; }
    void openNotificationSettings() override {}
    bool canOpenNotificationSettings() const override { return true; }

    NotificationAuthorization status = NotificationAuthorization::Authorized;
    ShowPreviews previews = ShowPreviews::Always;
};

SettingsServices gallerySettingsServices()
{
    SettingsServices services;
    services.launchAtLoginEnabled = [] { return true; };
    services.setLaunchAtLogin = [](bool) { return true; };
    services.shortVersion = [] { return u"0.1.0"_s; };
    services.buildNumber = [] { return u"1"_s; };
    services.localBuildLabel = [] { return std::optional<QString>(u"Local build"_s); };
    services.executablePath = [] { return u"/home/dev/src/tallyvue/build/RelWithDebInfo/bin/tallyvue"_s; };
    services.updater = [] { return UpdaterState{}; };
    return services;
}

/// The settings panel in one alert state: the whole panel at the popover's width, and the
/// popover opened on it.
bool renderSettings(const QString& dir, const QString& name, bool dark, const UsageState& state, bool alertsOn,
                    NotificationAuthorization status, ShowPreviews previews = ShowPreviews::Always)
{
    auto notifier = std::make_shared<GalleryNotifier>();
    notifier->status = status;
    notifier->previews = previews;
    ThresholdAlerts::installNotifier(notifier);
    Preferences::instance().setAlertsEnabled(alertsOn);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    const auto settle = [] {
        for (int pass = 0; pass < 4; ++pass)
            QApplication::processEvents();
    };
    const QString suffix = dark ? u"-dark.png"_s : u"-light.png"_s;

    QWidget panel;
    panel.setAutoFillBackground(true);
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, style::panelColor(palette));
    panel.setPalette(palette);
    auto* layout = new QVBoxLayout(&panel);
    layout->setContentsMargins(12, 12, 12, 12);
    auto* settings = new SettingsView(gallerySettingsServices());
    settings->setMetrics(state.allMetrics);
    layout->addWidget(settings);
    panel.setFixedWidth(MenuBarView::kSize.width());
    panel.show();
    settle();
    panel.setFixedHeight(panel.sizeHint().height());
    settle();
    bool ok = save(onBackdrop(panel.grab().toImage(), dark), dir + u"/settings-"_s + name + suffix);
    panel.hide();

    MenuBarView view;
    view.setSettingsServices(gallerySettingsServices());
    view.setState(state);
    view.show();
    view.setShowingSettings(true, false);
    settle();
    ok &= save(onBackdrop(view.grab().toImage(), dark), dir + u"/popover-settings-"_s + name + suffix);
    view.hide();
    ThresholdAlerts::installNotifier(nullptr);
    Preferences::instance().setAlertsEnabled(false);
    return ok;
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

struct PanelShade
{
    const char* name;
    QColor background;
    QColor foreground; ///< the text colour Tallyvue takes the panel to have
};

/// The icon with the percentage as digits (for trays that show no text) at the usual tray sizes,
/// 1x and 2x, on two panels; each icon at its real pixels, the sheet magnified three times so
/// that single pixels can be judged.
bool renderPercentIcons(const QString& file, const PanelShade (&panels)[2])
{
    struct Row
    {
        const char* caption;
        MenuBarStyle style;
        double percent;
        bool monochrome;
    };
    const Row rows[] = {
        {"7 %", MenuBarStyle::Percent, 7, false},       {"42 %", MenuBarStyle::Percent, 42.7, false},
        {"63 %", MenuBarStyle::Percent, 63, false},     {"93 %", MenuBarStyle::Percent, 93, false},
        {"100 %", MenuBarStyle::Percent, 100, false},   {"monochrome", MenuBarStyle::Percent, 63, true},
        {"ring 42 %", MenuBarStyle::Ring, 42.7, false}, {"ring 93 %", MenuBarStyle::Ring, 93, false},
        {"no data", MenuBarStyle::Percent, -1, false},
    };
    const int sides[] = {16, 22, 24, 32};
    const int cell = 72;
    const int captionWidth = 90;
    const int columns = int(std::size(sides)) * 2;
    QImage sheet(captionWidth + 2 * columns * cell, cell * int(std::size(rows) + 1),
                 QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    QFont captionFont = QApplication::font();
    captionFont.setPixelSize(11);
    painter.setFont(captionFont);
    for (int panel = 0; panel < 2; ++panel) {
        for (int c = 0; c < columns; ++c) {
            const QRect header(captionWidth + (panel * columns + c) * cell, 0, cell, cell);
            painter.setPen(QColor(0x555555));
            painter.drawText(
                header, Qt::AlignCenter,
                u"%1 px %2x\n%3"_s.arg(sides[c / 2]).arg(c % 2 + 1).arg(QString::fromUtf8(panels[panel].name)));
        }
    }
    int y = cell;
    for (const Row& row : rows) {
        QList<ProviderMetric> metrics;
        if (row.percent >= 0)
            metrics = {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, row.percent, kNow.addSecs(7500), 18000}};
        const TrayLabel label =
            makeTrayLabel(metrics, {{}, {}, row.style, row.monochrome, false, QuotaDisplayMode::Used}, kNow);
        painter.setPen(QColor(0x555555));
        painter.drawText(QRect(6, y, captionWidth - 6, cell), Qt::AlignVCenter, QString::fromUtf8(row.caption));
        for (int panel = 0; panel < 2; ++panel) {
            const QColor background = panels[panel].background;
            const QColor foreground = panels[panel].foreground;
            for (int c = 0; c < columns; ++c) {
                const QRect box(captionWidth + (panel * columns + c) * cell, y, cell, cell);
                painter.fillRect(box.adjusted(1, 1, -1, -1), background);
                QImage icon = renderPercentIcon(label, sides[c / 2], c % 2 + 1, foreground);
                icon.setDevicePixelRatio(1); // its real pixels
                painter.drawImage(box.center() - QPoint(icon.width() / 2, icon.height() / 2), icon);
            }
        }
        y += cell;
    }
    painter.end();
    return save(sheet.scaled(sheet.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation), file);
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
    ComputerName::instance().setName(u"workstation"_s);

    const WorkspacePage claude{AIProvider::Claude};
    if (qEnvironmentVariableIsSet("TALLYVUE_GALLERY_SCALED")) {
        // The second pass, at scale 2: the popover as a HiDPI screen shows it.
        bool ok = true;
        for (bool dark : {false, true}) {
            QApplication::setPalette(themePalette(dark));
            ok &= renderPopover(dir, u"claude"_s, dark, makeState(true, true, true), claude);
            // The tabs whose tiles and rows are tightest at scale 2.
            ok &= renderTab(dir, u"thiscomputer-claude"_s, dark, makeState(true, true, true), claude, AppTab::ThisMac);
            ok &= renderTab(dir, u"stats-claude-expanded"_s, dark, makeState(true, true, true), claude, AppTab::Stats,
                            true);
            ok &= gallery::renderStateScenes(dir, dark);
        }
        return ok ? 0 : 1;
    }

    bool ok = renderTrayIcons(dir);
    ok &= renderPercentIcons(dir + u"/tray-percent-icons.png"_s, {{"dark", QColor(0x2B2B2B), QColor(0xF2F2F2)},
                                                                  {"light", QColor(0xE8E8E8), QColor(0x1D1D1F)}});
    // A guess gone wrong, as on XFCE's dark panel beside a light palette: still legible.
    ok &= renderPercentIcons(dir + u"/tray-percent-icons-misjudged.png"_s,
                             {{"dark panel\ntaken light", QColor(0x2B2B2B), QColor(0x1D1D1F)},
                              {"light panel\ntaken dark", QColor(0xF0F0F0), QColor(0xF2F2F2)}});
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
        ok &= gallery::renderStateScenes(dir, dark);

        // The Stats and This Computer tabs, and the Overview with this computer's part.
        UsageState quiet = full;
        quiet.localUsage = std::make_shared<const std::vector<LocalUsageEvent>>();
        UsageState bare = full;
        bare.usage->extraUsage.reset();
        for (const auto& [key, page] :
             {std::pair{u"claude"_s, claude}, std::pair{u"chatgpt"_s, chatgpt}, std::pair{u"copilot"_s, copilot}}) {
            ok &= renderTab(dir, u"stats-"_s + key, dark, full, page, AppTab::Stats);
            ok &= renderTab(dir, u"thiscomputer-"_s + key, dark, full, page, AppTab::ThisMac);
        }
        ok &= renderTab(dir, u"stats-claude-expanded"_s, dark, full, claude, AppTab::Stats, true);
        ok &= renderTab(dir, u"stats-claude-empty"_s, dark, quiet, claude, AppTab::Stats);
        ok &= renderTab(dir, u"stats-claude-nostatistics"_s, dark, bare, claude, AppTab::Stats);
        ok &= renderTab(dir, u"stats-copilot-loading"_s, dark, loading, copilot, AppTab::Stats);
        ok &= renderTab(dir, u"thiscomputer-claude-empty"_s, dark, quiet, claude, AppTab::ThisMac);
        ok &= renderTab(dir, u"overview-local"_s, dark, full, WorkspacePage{}, AppTab::Models);
        ok &= renderTab(dir, u"overview-local-empty"_s, dark, quiet, WorkspacePage{}, AppTab::Models);

        using Status = NotificationAuthorization;
        ok &= renderSettings(dir, u"metrics"_s, dark, full, false, Status::Authorized);
        ok &= renderSettings(dir, u"no-metrics"_s, dark, loading, false, Status::Authorized);
        ok &= renderSettings(dir, u"alerts-denied"_s, dark, full, true, Status::Denied);
        ok &= renderSettings(dir, u"alerts-no-previews"_s, dark, full, true, Status::Authorized, ShowPreviews::Never);

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
    // Scale is fixed per process: the 2x popover is drawn by a second run of this program.
    QProcess scaled;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TALLYVUE_GALLERY_SCALED"_s, u"1"_s);
    env.insert(u"QT_SCALE_FACTOR"_s, u"2"_s);
    scaled.setProcessEnvironment(env);
    scaled.setProcessChannelMode(QProcess::ForwardedChannels);
    scaled.start(QCoreApplication::applicationFilePath(), {dir});
    ok &= scaled.waitForFinished(120000) && scaled.exitStatus() == QProcess::NormalExit && scaled.exitCode() == 0;
    return ok ? 0 : 1;
}
