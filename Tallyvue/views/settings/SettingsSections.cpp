// SPDX-License-Identifier: MIT
// The settings panel's sections, top to bottom: Menu Bar, General, Alerts, Updates and About.
#include "views/settings/SettingsView.h"

#include "alerts/ThresholdAlerts.h"
#include "insights/Presentation.h"
#include "model/MenuBarLabelText.h"
#include "model/TrayIconPreference.h"
#include "platform/linux/AppVersion.h"
#include "platform/linux/HotKeyManager.h"
#include "platform/linux/LaunchAtLogin.h"
#include "platform/linux/UpdaterController.h"
#include "views/common/MetricViews.h"
#include "views/common/ToggleSwitch.h"
#include "views/common/UsageState.h"
#include "views/common/Widgets.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

constexpr QuotaDisplayMode kModes[] = {QuotaDisplayMode::Used, QuotaDisplayMode::Remaining};
constexpr MenuBarStyle kStyles[] = {MenuBarStyle::Percent, MenuBarStyle::IconOnly, MenuBarStyle::Ring};
constexpr HotKeyPreset kPresets[] = {HotKeyPreset::Off, HotKeyPreset::CtrlOptQ, HotKeyPreset::CtrlOptU,
                                     HotKeyPreset::CtrlOptSpace, HotKeyPreset::CtrlShiftOptQ};

QString styleLabel(MenuBarStyle style)
{
    switch (style) {
    case MenuBarStyle::Percent: return u"Icon and percent"_s;
    case MenuBarStyle::IconOnly: return u"Icon only"_s;
    case MenuBarStyle::Ring: return u"Ring and percent"_s;
    }
    return {};
}

QString trayPercentLabel(TrayIconPercent choice)
{
    switch (choice) {
    case TrayIconPercent::Automatic: return u"Automatic"_s;
    case TrayIconPercent::Always: return u"Always"_s;
    case TrayIconPercent::Never: return u"Never"_s;
    }
    return {};
}

QString modeLabel(QuotaDisplayMode mode)
{
    return mode == QuotaDisplayMode::Remaining ? u"Remaining"_s : u"Used"_s;
}

/// A caption-sized text button in the accent colour ("Send Test Alert").
class LinkButton : public QAbstractButton
{
public:
    explicit LinkButton(const QString& text, QWidget* parent = nullptr) : QAbstractButton(parent)
    {
        setText(text);
        setFont(style::font(TextStyle::Caption, QFont::Medium));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setAttribute(Qt::WA_Hover);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        // At least 24 px high: a caption alone is too small a target to hit.
        return {metrics.horizontalAdvance(text()) + 8, std::max(24, metrics.height() + 4)};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QColor color = style::accentColor(style::Accent::Blue, palette());
        if (isDown())
            color = color.darker(120);
        QFont drawn = font();
        drawn.setUnderline(underMouse() || hasFocus());
        painter.setFont(drawn);
        painter.setPen(color);
        painter.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, text());
        if (hasFocus())
            style::paintFocusRing(painter, QRectF(rect()), 5, palette());
    }
};

/// The small orange "Local build" badge.
class BuildBadge : public QLabel
{
public:
    explicit BuildBadge(QWidget* parent = nullptr) : QLabel(parent)
    {
        setFont(style::font(TextStyle::Caption, QFont::DemiBold));
        setContentsMargins(6, 2, 6, 2);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor orange = style::accentColor(style::Accent::Orange, palette());
        QColor fill = orange;
        fill.setAlphaF(0.18f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()), 4, 4);
        painter.setPen(orange);
        painter.drawText(contentsRect(), Qt::AlignCenter, text());
    }
};

/// A caption with a leading symbol that wraps its text.
QWidget* iconCaption(const QString& symbol, const QString& text, TextColor color, const QString& name)
{
    auto* icon = new SymbolLabel(symbol, symbolSize(TextStyle::Caption), color);
    auto* label = new TextLabel(text, TextStyle::Caption, color);
    label->setWordWrap(true);
    auto* row = new QWidget;
    row->setObjectName(name);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(label, 1);
    row->setAccessibleName(text);
    return row;
}

/// The program's path, cut in the middle when it is too long; the whole path stays selectable
/// through the tooltip and what a screen reader says.
class PathLabel : public TextLabel
{
public:
    explicit PathLabel(QWidget* parent = nullptr)
        : TextLabel({}, TextStyle::Caption2, TextColor::of(Tone::Tertiary), parent)
    {
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    void setPath(const QString& path)
    {
        m_path = path;
        setToolTip(path);
        setAccessibleName(path);
        elide();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        TextLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() { setText(fontMetrics().elidedText(m_path, Qt::ElideMiddle, std::max(40, width()))); }
    QString m_path;
};

} // namespace

void SettingsView::buildMenuBarSection()
{
    QWidget* menuBar = section(u"Menu Bar"_s);
    auto* menuBarColumn = static_cast<QVBoxLayout*>(menuBar->layout());
    m_primary = picker(u"Primary"_s);
    m_secondary = picker(u"Secondary"_s);
    connect(m_primary, &QComboBox::activated, this, [this](int index) { chooseBadge(true, index); });
    connect(m_secondary, &QComboBox::activated, this, [this](int index) { chooseBadge(false, index); });
    m_badgeRows = new QWidget;
    auto* badgeColumn = new QVBoxLayout(m_badgeRows);
    badgeColumn->setContentsMargins(0, 0, 0, 0);
    badgeColumn->setSpacing(menuBarColumn->spacing());
    badgeColumn->addWidget(row(u"Primary"_s, m_primary));
    badgeColumn->addWidget(row(u"Secondary"_s, m_secondary));
    menuBarColumn->addWidget(m_badgeRows);
    m_loadDataCaption = new TextLabel(u"Load usage data first to choose what the badge shows."_s, TextStyle::Caption,
                                      TextColor::of(Tone::Secondary));
    m_loadDataCaption->setObjectName(u"loadDataCaption"_s);
    m_loadDataCaption->setWordWrap(true);
    menuBarColumn->addWidget(m_loadDataCaption);

    m_style = picker(u"Style"_s);
    for (MenuBarStyle style : kStyles)
        m_style->addItem(styleLabel(style), rawValue(style));
    connect(m_style, &QComboBox::activated, this, [this](int index) {
        if (const auto style = menuBarStyleFromRaw(m_style->itemData(index).toString()))
            Preferences::instance().setMenuBarStyle(*style);
    });
    menuBarColumn->addWidget(row(u"Style"_s, m_style));
    m_trayPercent = picker(u"Percent in icon"_s);
    for (TrayIconPercent choice : {TrayIconPercent::Automatic, TrayIconPercent::Always, TrayIconPercent::Never})
        m_trayPercent->addItem(trayPercentLabel(choice), rawValue(choice));
    m_trayPercent->setToolTip(u"Digits in the tray icon, for panels that show no text beside it"_s);
    connect(m_trayPercent, &QComboBox::activated, this, [this](int index) {
        if (const auto choice = trayIconPercentFromRaw(m_trayPercent->itemData(index).toString()))
            setTrayIconShowsPercent(*choice);
    });
    menuBarColumn->addWidget(row(u"Percent in icon"_s, m_trayPercent));
    m_monochrome = new ToggleSwitch(u"Monochrome"_s);
    m_monochrome->setObjectName(u"Monochrome"_s);
    connect(m_monochrome, &QAbstractButton::toggled, this,
            [](bool on) { Preferences::instance().setMenuBarMonochrome(on); });
    menuBarColumn->addWidget(row(u"Monochrome"_s, m_monochrome));
    m_countdown = new ToggleSwitch(u"Show time to reset"_s);
    m_countdown->setObjectName(u"Show time to reset"_s);
    connect(m_countdown, &QAbstractButton::toggled, this,
            [](bool on) { Preferences::instance().setBadgeShowsCountdown(on); });
    menuBarColumn->addWidget(row(u"Show time to reset"_s, m_countdown));
    m_hotKey = picker(u"Global shortcut"_s);
    for (HotKeyPreset preset : kPresets)
        m_hotKey->addItem(hotKeyLabel(preset), rawValue(preset));
    connect(m_hotKey, &QComboBox::activated, this, [this](int index) {
        if (const auto preset = hotKeyPresetFromRaw(m_hotKey->itemData(index).toString()))
            Preferences::instance().setHotKeyPreset(*preset);
    });
    menuBarColumn->addWidget(row(u"Global shortcut"_s, m_hotKey));
}

void SettingsView::buildGeneralSection()
{
    QWidget* general = section(u"General"_s);
    auto* generalColumn = static_cast<QVBoxLayout*>(general->layout());
    m_refresh = picker(u"Refresh every"_s);
    for (int minutes : kRefreshIntervals)
        m_refresh->addItem(QString::number(minutes) + u" min"_s, minutes);
    connect(m_refresh, &QComboBox::activated, this, [this](int index) {
        Preferences::instance().setRefreshIntervalMinutes(m_refresh->itemData(index).toInt());
    });
    generalColumn->addWidget(row(u"Refresh every"_s, m_refresh));
    m_mode = picker(u"Show quota as"_s);
    for (QuotaDisplayMode mode : kModes)
        m_mode->addItem(modeLabel(mode), rawValue(mode));
    connect(m_mode, &QComboBox::activated, this, [this](int index) {
        Preferences::instance().setQuotaDisplayMode(displayModeFromRaw(m_mode->itemData(index).toString()));
    });
    generalColumn->addWidget(row(u"Show quota as"_s, m_mode));
    m_launchAtLogin = new ToggleSwitch(u"Launch at Login"_s);
    m_launchAtLogin->setObjectName(u"Launch at Login"_s);
    connect(m_launchAtLogin, &QAbstractButton::toggled, this, &SettingsView::launchAtLoginToggled);
    generalColumn->addWidget(row(u"Launch at Login"_s, m_launchAtLogin));
}

void SettingsView::buildAlertsSection()
{
    QWidget* alerts = section(u"Alerts"_s);
    auto* alertsColumn = static_cast<QVBoxLayout*>(alerts->layout());
    m_alerts = new ToggleSwitch(u"Usage Alerts"_s);
    m_alerts->setObjectName(u"Usage Alerts"_s);
    connect(m_alerts, &QAbstractButton::toggled, this, &SettingsView::alertsToggled);
    alertsColumn->addWidget(row(u"Usage Alerts"_s, m_alerts));
    m_deniedWarning =
        iconCaption(u"exclamationmark.triangle.fill"_s,
                    u"Notifications are turned off for Tallyvue in the desktop's notification settings."_s,
                    TextColor::accent(style::Accent::Orange), u"deniedWarning"_s);
    alertsColumn->addWidget(m_deniedWarning);
    auto* openSettings = new LinkButton(u"Open Notification Settings…"_s);
    connect(openSettings, &QAbstractButton::clicked, this, [] { ThresholdAlerts::openNotificationSettings(); });
    m_openNotificationSettings = openSettings;
    m_openNotificationSettings->setObjectName(u"openNotificationSettings"_s);
    alertsColumn->addWidget(m_openNotificationSettings);
    m_previewsCaption = iconCaption(
        u"eye.slash"_s,
        u"The desktop hides notification details (its notification service shows no body text). Alerts show only "
        "the provider and window; turn on notification details in the desktop's notification settings to see the "
        "rest."_s,
        TextColor::of(Tone::Secondary), u"previewsCaption"_s);
    alertsColumn->addWidget(m_previewsCaption);
    m_alertControls = new QWidget;
    m_alertControls->setObjectName(u"alertControls"_s);
    auto* alertControls = new QVBoxLayout(m_alertControls);
    alertControls->setContentsMargins(0, 0, 0, 0);
    alertControls->setSpacing(alertsColumn->spacing());
    for (AIProvider provider : kAllProviders) {
        QComboBox* threshold = picker(rawValue(provider));
        threshold->setAccessibleName(rawValue(provider) + u" alert threshold"_s);
        connect(threshold, &QComboBox::activated, this, [threshold, provider](int index) {
            Preferences::instance().setAlertThreshold(provider, threshold->itemData(index).toDouble());
        });
        m_thresholds.append(threshold);
        alertControls->addWidget(row(rawValue(provider), threshold));
    }
    auto* once = new TextLabel(u"One notification per window, when a limit first passes its threshold."_s,
                               TextStyle::Caption, TextColor::of(Tone::Tertiary));
    once->setWordWrap(true);
    alertControls->addWidget(once);
    auto* testAlert = new LinkButton(u"Send Test Alert"_s);
    testAlert->setObjectName(u"sendTestAlert"_s);
    connect(testAlert, &QAbstractButton::clicked, this,
            [this] { ThresholdAlerts::sendTestAlert(ThresholdAlerts::testAlertMetric(m_metrics)); });
    alertControls->addWidget(testAlert);
    alertsColumn->addWidget(m_alertControls);
}

void SettingsView::buildUpdatesSection()
{
    QWidget* updates = section(u"Updates"_s);
    auto* updatesColumn = static_cast<QVBoxLayout*>(updates->layout());
    m_updatesCaption = new TextLabel(u"Automatic updates are not configured for this build."_s, TextStyle::Caption,
                                     TextColor::of(Tone::Tertiary));
    m_updatesCaption->setObjectName(u"updatesCaption"_s);
    updatesColumn->addWidget(m_updatesCaption);
    m_updateControls = new QWidget;
    m_updateControls->setObjectName(u"updateControls"_s);
    auto* updateControls = new QVBoxLayout(m_updateControls);
    updateControls->setContentsMargins(0, 0, 0, 0);
    updateControls->setSpacing(updatesColumn->spacing());
    m_autoUpdates = new ToggleSwitch(u"Check for updates automatically"_s);
    connect(m_autoUpdates, &QAbstractButton::toggled, this, [this](bool on) {
        if (m_services.setChecksAutomatically)
            m_services.setChecksAutomatically(on);
    });
    updateControls->addWidget(row(u"Check for updates automatically"_s, m_autoUpdates));
    auto* check = new GlassButton({}, u"Check for Updates…"_s);
    connect(check, &QAbstractButton::clicked, this, [this] {
        if (m_services.checkForUpdates)
            m_services.checkForUpdates();
    });
    m_checkForUpdates = check;
    m_lastChecked = new TextLabel({}, TextStyle::Caption2, TextColor::of(Tone::Tertiary));
    updateControls->addWidget(hbox({check, m_lastChecked, nullptr}, 8));
    updatesColumn->addWidget(m_updateControls);
}

void SettingsView::buildAboutSection()
{
    QWidget* about = section(u"About"_s);
    auto* aboutColumn = static_cast<QVBoxLayout*>(about->layout());
    m_version = new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary));
    m_version->setObjectName(u"version"_s);
    auto* badge = new BuildBadge;
    m_localBadge = badge;
    m_localBadge->setObjectName(u"localBuild"_s);
    aboutColumn->addWidget(hbox({m_version, m_localBadge, nullptr}, 6));
    auto* path = new PathLabel;
    path->setObjectName(u"executablePath"_s);
    m_path = path;
    aboutColumn->addWidget(m_path);

    const QString version = m_services.shortVersion ? m_services.shortVersion() : u"?"_s;
    const QString build = m_services.buildNumber ? m_services.buildNumber() : u"?"_s;
    m_version->setText(u"Tallyvue "_s + version + u" ("_s + build + u')');
    const auto label = m_services.localBuildLabel ? m_services.localBuildLabel() : std::nullopt;
    m_facts.localBuild = label.has_value();
    badge->setText(label.value_or(QString()));
    badge->setAccessibleName(label.value_or(QString()));
    path->setPath(m_services.executablePath ? m_services.executablePath() : QString());
}

} // namespace tallyvue
