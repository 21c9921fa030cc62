// SPDX-License-Identifier: MIT
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
#include <QItemSelectionModel>
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

constexpr double kThresholdChoices[] = {50, 75, 90, 95};

QString percentLabel(double value)
{
    return QString::number(static_cast<long long>(std::trunc(value))) + u'%';
}

} // namespace

SettingsServices SettingsServices::platform()
{
    SettingsServices services;
    services.launchAtLoginEnabled = [] { return tallyvue::launchAtLoginEnabled(); };
    services.setLaunchAtLogin = [](bool on) { return tallyvue::setLaunchAtLogin(on); };
    services.shortVersion = [] { return tallyvue::shortVersion(); };
    services.buildNumber = [] { return tallyvue::buildNumber(); };
    services.localBuildLabel = [] { return tallyvue::localBuildLabel(); };
    services.executablePath = [] { return tallyvue::executablePath(); };
    services.updater = [] {
        const UpdaterController& controller = UpdaterController::shared();
        return UpdaterState{controller.isConfigured(), controller.canCheckForUpdates(),
                            controller.automaticallyChecksForUpdates(), controller.lastUpdateCheckDate()};
    };
    services.setChecksAutomatically = [](bool on) { UpdaterController::shared().setAutomaticallyChecksForUpdates(on); };
    services.checkForUpdates = [] { UpdaterController::shared().checkForUpdates(); };
    return services;
}

SettingsLayout settingsLayout(const SettingsFacts& facts)
{
    SettingsLayout layout;
    layout.badgePickers = facts.hasMetrics;
    layout.loadDataCaption = !facts.hasMetrics;
    layout.alertControls = facts.alertsEnabled;
    layout.deniedWarning = facts.alertsEnabled && facts.authorization == NotificationAuthorization::Denied;
    layout.openNotificationSettings = layout.deniedWarning && facts.canOpenNotificationSettings;
    layout.previewsCaption = facts.alertsEnabled && facts.authorization == NotificationAuthorization::Authorized &&
                             facts.showPreviews == ShowPreviews::Never;
    layout.updatesCaption = !facts.updaterConfigured;
    layout.updateControls = facts.updaterConfigured;
    layout.localBuild = facts.localBuild;
    return layout;
}

QList<double> thresholdEntries(double shown)
{
    QList<double> entries(std::begin(kThresholdChoices), std::end(kThresholdChoices));
    if (std::isfinite(shown) && !entries.contains(shown)) {
        entries.append(shown);
        std::sort(entries.begin(), entries.end());
    }
    return entries;
}

double shownThreshold(AIProvider provider)
{
    const double stored = Preferences::instance().alertThreshold(provider);
    return stored > 0 ? stored : ThresholdAlerts::threshold(provider);
}

int shownRefreshInterval(int storedMinutes)
{
    return std::find(std::begin(kRefreshIntervals), std::end(kRefreshIntervals), storedMinutes) !=
                   std::end(kRefreshIntervals)
               ? storedMinutes
               : 10;
}

SettingsView::SettingsView(SettingsServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services))
{
    setObjectName(u"settings"_s);
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(10);
    auto* title = new TextLabel(u"Settings"_s, TextStyle::Headline);
    title->setAccessibleName(u"Settings"_s);
    m_column->addWidget(title);

    buildMenuBarSection();
    buildGeneralSection();
    buildAlertsSection();
    buildUpdatesSection();
    buildAboutSection();
    m_column->addStretch(1);

    connect(&Preferences::instance(), &Preferences::changed, this, [this](const QString& key) {
        static const QStringList kKeys = {u"selectedMenuBadge"_s,
                                          u"secondaryMenuBadge"_s,
                                          u"menuBarStyle"_s,
                                          u"menuBarMonochrome"_s,
                                          u"badgeShowsCountdown"_s,
                                          u"hotKeyPreset"_s,
                                          u"refreshIntervalMinutes"_s,
                                          u"quotaDisplayMode"_s,
                                          u"alertsEnabled"_s,
                                          u"alertThreshold"_s,
                                          kTrayIconShowsPercentKey.toString()};
        if (kKeys.contains(key) || key.startsWith(u"alertThreshold."))
            syncFromPreferences();
    });
    buildBadgePickers();
    syncFromPreferences();
    m_launchAtLogin->setCheckedQuietly(m_services.launchAtLoginEnabled && m_services.launchAtLoginEnabled());
}

QWidget* SettingsView::section(const QString& title)
{
    if (m_column->count() > 1)
        m_column->addWidget(new Divider);
    auto* box = new QWidget;
    box->setObjectName(title);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto* heading = new TextLabel(title, TextStyle::Subheadline, TextColor::of(Tone::Secondary));
    heading->setAccessibleName(title);
    column->addWidget(heading);
    m_column->addWidget(box);
    return box;
}

QWidget* SettingsView::row(const QString& label, QWidget* control)
{
    auto* text = new TextLabel(label, TextStyle::Body);
    text->setBuddy(control);
    // Screen readers on Linux name a picker by its label (a picker's own name is its value).
    if (!control->accessibleName().isEmpty())
        text->setAccessibleName(control->accessibleName());
    return hbox({text, nullptr, control}, 8);
}

namespace {

/// Assistive tools choose an entry by selecting it in the closed list (a list item's "Toggle"):
/// that counts as choosing it, as a click in the open list does. Called again after setModel(),
/// which replaces the list's selection model.
void followAccessibleSelection(QComboBox* combo)
{
    QItemSelectionModel* selection = combo->view()->selectionModel();
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, combo, [combo, selection] {
        const QModelIndexList chosen = selection->selectedIndexes();
        if (chosen.isEmpty() || combo->view()->isVisible())
            return;
        const int row = chosen.first().row();
        if (row == combo->currentIndex())
            return;
        combo->setCurrentIndex(row);
        Q_EMIT combo->activated(row);
    });
}

} // namespace

QComboBox* SettingsView::picker(const QString& name)
{
    auto* combo = new QComboBox;
    combo->setObjectName(name);
    combo->setAccessibleName(name);
    combo->setFocusPolicy(Qt::TabFocus);
    // One width for every picker keeps the column tidy; a longer entry is cut in the box and
    // shown whole in the open list.
    combo->setFixedWidth(180);
    followAccessibleSelection(combo);
    return combo;
}

void SettingsView::setMetrics(const QList<ProviderMetric>& metrics)
{
    m_metrics = metrics;
    m_facts.hasMetrics = !metrics.isEmpty();
    buildBadgePickers();
    syncFromPreferences();
}

void SettingsView::buildBadgePickers()
{
    QStringList entries;
    for (const ProviderMetric& metric : m_metrics)
        entries.append(metric.id() + u'\n' + metric.title);
    if (entries == m_badgeEntries && m_primary->count() > 0)
        return; // an open list is not rebuilt under the user's pointer by a refresh
    m_badgeEntries = entries;
    for (QComboBox* combo : {m_primary, m_secondary}) {
        const QSignalBlocker blocker(combo);
        auto* model = new QStandardItemModel(combo);
        if (combo == m_secondary) {
            auto* none = new QStandardItem(u"None"_s);
            none->setData(QString(), Qt::UserRole);
            model->appendRow(none);
        }
        for (AIProvider provider : kAllProviders) {
            bool headed = false;
            for (const ProviderMetric& metric : m_metrics) {
                if (metric.provider != provider)
                    continue;
                if (!headed) {
                    // The provider's name heads its group and cannot be chosen.
                    auto* heading = new QStandardItem(productName(provider));
                    heading->setFlags(Qt::NoItemFlags);
                    QFont font = combo->font();
                    font.setBold(true);
                    heading->setFont(font);
                    model->appendRow(heading);
                    headed = true;
                }
                auto* item = new QStandardItem(rawValue(provider) + u" · "_s + metric.title);
                item->setData(metric.id(), Qt::UserRole);
                model->appendRow(item);
            }
        }
        combo->setModel(model); // deletes the model it owned before
        followAccessibleSelection(combo);
        combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + 24);
    }
}

void SettingsView::syncFromPreferences()
{
    const Preferences& preferences = Preferences::instance();
    const auto select = [](QComboBox* combo, const QVariant& value) {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(combo->findData(value));
    };

    // The pickers show what the label shows, defaults included.
    const LabelBadges shown =
        selectBadges(m_metrics, preferences.selectedMenuBadge(), preferences.secondaryMenuBadge());
    select(m_primary, shown.primary ? shown.primary->id() : QString());
    select(m_secondary, shown.secondary ? shown.secondary->id() : QString());
    select(m_style, rawValue(preferences.menuBarStyle()));
    select(m_trayPercent, rawValue(trayIconShowsPercent()));
    m_monochrome->setCheckedQuietly(preferences.menuBarMonochrome());
    m_countdown->setCheckedQuietly(preferences.badgeShowsCountdown());
    select(m_hotKey, rawValue(preferences.hotKeyPreset()));
    select(m_refresh, shownRefreshInterval(preferences.refreshIntervalMinutes()));
    select(m_mode, rawValue(preferences.quotaDisplayMode()));
    m_facts.alertsEnabled = preferences.alertsEnabled();
    m_alerts->setCheckedQuietly(m_facts.alertsEnabled);
    for (qsizetype i = 0; i < m_thresholds.size(); ++i) {
        QComboBox* combo = m_thresholds[i];
        const double shownValue = shownThreshold(kAllProviders[i]);
        const QList<double> values = thresholdEntries(shownValue);
        const QSignalBlocker blocker(combo);
        // Refilled only when the entries differ, so an open list survives a refresh.
        bool same = combo->count() == values.size();
        for (int entry = 0; same && entry < combo->count(); ++entry)
            same = combo->itemData(entry).toDouble() == values[entry];
        if (!same) {
            combo->clear();
            for (double value : values)
                combo->addItem(percentLabel(value), value);
        }
        combo->setCurrentIndex(combo->findData(shownValue));
    }
    applyLayout();
}

void SettingsView::applyLayout()
{
    const UpdaterState updater = m_services.updater ? m_services.updater() : UpdaterState{};
    m_facts.updaterConfigured = updater.configured;
    m_facts.canOpenNotificationSettings = ThresholdAlerts::canOpenNotificationSettings();
    m_layout = settingsLayout(m_facts);
    m_badgeRows->setVisible(m_layout.badgePickers);
    m_loadDataCaption->setVisible(m_layout.loadDataCaption);
    m_deniedWarning->setVisible(m_layout.deniedWarning);
    m_openNotificationSettings->setVisible(m_layout.openNotificationSettings);
    m_previewsCaption->setVisible(m_layout.previewsCaption);
    m_alertControls->setVisible(m_layout.alertControls);
    m_updatesCaption->setVisible(m_layout.updatesCaption);
    m_updateControls->setVisible(m_layout.updateControls);
    m_localBadge->setVisible(m_layout.localBuild);
    m_path->setVisible(m_layout.localBuild);
    if (updater.configured) {
        m_autoUpdates->setCheckedQuietly(updater.checksAutomatically);
        m_checkForUpdates->setEnabled(updater.canCheck);
        m_lastChecked->setVisible(updater.lastCheck.has_value());
        if (updater.lastCheck)
            m_lastChecked->setText(u"Last checked "_s + relativeTimeText(*updater.lastCheck, viewNow()));
    }
}

void SettingsView::chooseBadge(bool first, int index)
{
    QComboBox* combo = first ? m_primary : m_secondary;
    const QVariant id = combo->itemData(index, Qt::UserRole);
    if (!id.isValid())
        return; // a provider heading
    Preferences& preferences = Preferences::instance();
    const BadgeChoices stored{preferences.selectedMenuBadge(), preferences.secondaryMenuBadge()};
    const BadgeChoices chosen = tallyvue::chooseBadge(m_metrics, stored, first, id.toString());
    preferences.setSelectedMenuBadge(chosen.selected);
    preferences.setSecondaryMenuBadge(chosen.secondary);
}

void SettingsView::launchAtLoginToggled(bool on)
{
    const bool done = m_services.setLaunchAtLogin && m_services.setLaunchAtLogin(on);
    if (!done) // the switch shows what the desktop will really do
        m_launchAtLogin->setCheckedQuietly(m_services.launchAtLoginEnabled && m_services.launchAtLoginEnabled());
}

void SettingsView::alertsToggled(bool on)
{
    Preferences::instance().setAlertsEnabled(on);
    if (on)
        readNotificationState(true);
}

void SettingsView::readViewState()
{
    m_launchAtLogin->setCheckedQuietly(m_services.launchAtLoginEnabled && m_services.launchAtLoginEnabled());
    readNotificationState(false);
}

QCoro::Task<> SettingsView::readNotificationState(bool askFirst)
{
    QPointer<SettingsView> self(this);
    // A later read wins over one still waiting for the notification service.
    const quint64 generation = ++m_readGeneration;
    NotificationAuthorization status = co_await ThresholdAlerts::authorizationStatus();
    if (askFirst && status == NotificationAuthorization::NotDetermined) {
        co_await ThresholdAlerts::requestAuthorization();
        status = co_await ThresholdAlerts::authorizationStatus();
    }
    if (!self || self->m_readGeneration != generation)
        co_return;
    const ShowPreviews previews = co_await ThresholdAlerts::showPreviewsSetting();
    if (!self || self->m_readGeneration != generation)
        co_return;
    self->m_facts.authorization = status;
    self->m_facts.showPreviews = previews;
    self->applyLayout();
    Q_EMIT self->viewStateRead();
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    readViewState();
}

} // namespace tallyvue
