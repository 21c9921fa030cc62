// SPDX-License-Identifier: MIT
#pragma once

#include "alerts/AlertNotifier.h"
#include "model/Preferences.h"
#include "model/ProviderMetric.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

#include <functional>
#include <optional>

class QComboBox;
class QVBoxLayout;

namespace tallyvue {

class TextLabel;
class ToggleSwitch;

/// The in-app updater as the settings panel shows it.
struct UpdaterState
{
    bool configured = false;
    bool canCheck = false;
    bool checksAutomatically = false;
    std::optional<QDateTime> lastCheck;
};

/**
 * What the settings panel asks of the desktop besides the preferences and the alerts: the
 * autostart entry, the version texts and the updater. The application passes the real ones
 * (platform()); tests and the gallery pass fixed ones.
 */
struct SettingsServices
{
    std::function<bool()> launchAtLoginEnabled;
    /// False when it failed (the failure is logged by the service).
    std::function<bool(bool)> setLaunchAtLogin;
    std::function<QString()> shortVersion;
    std::function<QString()> buildNumber;
    std::function<std::optional<QString>()> localBuildLabel;
    std::function<QString()> executablePath;
    std::function<UpdaterState()> updater;
    std::function<void(bool)> setChecksAutomatically;
    std::function<void()> checkForUpdates;

    static SettingsServices platform();
};

/// The facts the panel's optional parts depend on.
struct SettingsFacts
{
    bool hasMetrics = false;
    bool alertsEnabled = false;
    NotificationAuthorization authorization = NotificationAuthorization::NotDetermined;
    ShowPreviews showPreviews = ShowPreviews::Always;
    bool canOpenNotificationSettings = false;
    bool updaterConfigured = false;
    bool localBuild = false;
};

/// Which optional parts the panel shows.
struct SettingsLayout
{
    bool badgePickers = false;
    bool loadDataCaption = false;
    bool deniedWarning = false;
    bool openNotificationSettings = false;
    bool previewsCaption = false;
    bool alertControls = false; ///< threshold pickers, their caption and "Send Test Alert"
    bool updatesCaption = false;
    bool updateControls = false;
    bool localBuild = false; ///< the badge and the program's path

    friend bool operator==(const SettingsLayout&, const SettingsLayout&) = default;
};

SettingsLayout settingsLayout(const SettingsFacts& facts);

/// The threshold picker's entries: 50, 75, 90 and 95, plus `shown` in order when it is none of them.
QList<double> thresholdEntries(double shown);
/// What the threshold picker of `provider` shows: the stored value when set, else the alerts' fallback.
double shownThreshold(AIProvider provider);
/// What the refresh picker shows: the stored choice, or 10 (what the loop uses) for anything else.
int shownRefreshInterval(int storedMinutes);

/**
 * The settings panel, shown inside the popover in place of the pages. It only writes the
 * preferences; what a change sets off (restarting the refresh loop, rewriting the widget
 * snapshot, re-grabbing the shortcut) happens in the core, whoever changes the value.
 */
class SettingsView : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsView(SettingsServices services, QWidget* parent = nullptr);

    void setMetrics(const QList<ProviderMetric>& metrics);
    /// Reads launch at login and the notification state afresh (done each time it is shown).
    void readViewState();
    const SettingsLayout& currentLayout() const { return m_layout; }
    NotificationAuthorization authorization() const { return m_facts.authorization; }

Q_SIGNALS:
    /// The notification state has been read (after showing or after switching alerts on).
    void viewStateRead();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* section(const QString& title);
    QWidget* row(const QString& label, QWidget* control);
    QComboBox* picker(const QString& name);
    void buildMenuBarSection();
    void buildGeneralSection();
    void buildAlertsSection();
    void buildUpdatesSection();
    void buildAboutSection();
    void buildBadgePickers();
    void syncFromPreferences();
    void applyLayout();
    void chooseBadge(bool first, int index);
    void launchAtLoginToggled(bool on);
    void alertsToggled(bool on);
    QCoro::Task<> readNotificationState(bool askFirst);

    SettingsServices m_services;
    SettingsFacts m_facts;
    SettingsLayout m_layout;
    QList<ProviderMetric> m_metrics;
    QStringList m_badgeEntries;
    quint64 m_readGeneration = 0;

    QVBoxLayout* m_column;
    QWidget* m_badgeRows;
    QComboBox* m_primary;
    QComboBox* m_secondary;
    TextLabel* m_loadDataCaption;
    QComboBox* m_style;
    QComboBox* m_trayPercent;
    ToggleSwitch* m_monochrome;
    ToggleSwitch* m_countdown;
    QComboBox* m_hotKey;
    QComboBox* m_refresh;
    QComboBox* m_mode;
    ToggleSwitch* m_launchAtLogin;
    ToggleSwitch* m_alerts;
    QWidget* m_deniedWarning;
    QWidget* m_openNotificationSettings;
    QWidget* m_previewsCaption;
    QWidget* m_alertControls;
    QList<QComboBox*> m_thresholds;
    QWidget* m_updatesCaption;
    QWidget* m_updateControls;
    ToggleSwitch* m_autoUpdates;
    QWidget* m_checkForUpdates;
    TextLabel* m_lastChecked;
    TextLabel* m_version;
    QWidget* m_localBadge;
    TextLabel* m_path;
};

} // namespace tallyvue
