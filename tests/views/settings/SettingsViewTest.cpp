// SPDX-License-Identifier: MIT
// The settings panel: which parts show for which state, what each control writes, and how
// the popover opens and closes it.
#include "views/settings/SettingsView.h"
#include "alerts/ThresholdAlerts.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "shell/Popover.h"
#include "views/common/ToggleSwitch.h"
#include "views/common/Widgets.h"
#include "views/popover/MenuBarView.h"
#include "views/popover/SelectorBar.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

/// A notification service whose answers the test sets.
class FakeNotifier : public AlertNotifier
{
public:
    void post(const AlertNotification& notification) override { posted.append(notification); }
    QCoro::Task<NotificationAuthorization> authorizationStatus() override
    {
        ++statusReads;
        co_return status;
    }
    QCoro::Task<ShowPreviews> showPreviewsSetting() override { co_return ShowPreviews::Always; }
    QCoro::Task<Result<bool, QString>> requestAuthorization() override
    {
        ++requests;
        status = afterRequest;
        co_return afterRequest == NotificationAuthorization::Authorized;
    }
    void openNotificationSettings() override {}
    bool canOpenNotificationSettings() const override { return canOpen; }

    NotificationAuthorization status = NotificationAuthorization::Authorized;
    NotificationAuthorization afterRequest = NotificationAuthorization::Authorized;
    bool canOpen = false;
    int statusReads = 0;
    int requests = 0;
    QList<AlertNotification> posted;
};

const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);

const QList<ProviderMetric> kMetrics = {
    {AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.7, kNow.addSecs(7500), 18000},
    {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 63, std::nullopt, 604800},
    {AIProvider::Copilot, u"premium_interactions"_s, u"Premium Requests"_s, 88, std::nullopt, std::nullopt},
};

/// Launch at login that touches nothing on the machine and can be made to fail; the rest unset.
struct FakeServices
{
    bool enabled = false;
    bool failing = false;
    int writes = 0;

    SettingsServices make()
    {
        SettingsServices services;
        services.launchAtLoginEnabled = [this] { return enabled; };
        services.setLaunchAtLogin = [this](bool on) {
            ++writes;
            if (failing)
                return false;
            enabled = on;
            return true;
        };
        return services;
    }
};

QStringList entries(const QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        const bool selectable = combo->model()->flags(combo->model()->index(i, 0)) & Qt::ItemIsSelectable;
        texts.append((selectable ? u""_s : u"# "_s) + combo->itemText(i));
    }
    return texts;
}

} // namespace

class SettingsViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear();
        ThresholdAlerts::installNotifier(notifier);
        setViewClock([] { return kNow; });
    }
    void TearDown() override
    {
        ThresholdAlerts::installNotifier(nullptr);
        setViewClock({});
    }

    QComboBox* combo(SettingsView& view, const QString& name) { return view.findChild<QComboBox*>(name); }
    /// Picks the entry with `text` as the user would.
    void pick(SettingsView& view, const QString& name, const QString& text)
    {
        QComboBox* box = combo(view, name);
        const int index = box->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }

    std::shared_ptr<FakeNotifier> notifier = std::make_shared<FakeNotifier>();
    FakeServices services;
};

// Badge pickers: grouped by provider under headings that cannot be chosen, "None" first in
// the second one; they show the label's defaults, and "None" leaves one badge.
TEST_F(SettingsViewTest, BadgePickers)
{
    SettingsView view(services.make());
    EXPECT_TRUE(view.currentLayout().loadDataCaption); // no metrics yet: no pickers to offer
    view.setMetrics(kMetrics);
    EXPECT_EQ(entries(combo(view, u"Primary"_s)),
              (QStringList{u"# Claude Code"_s, u"Claude · 5-Hour"_s, u"Claude · 7-Day"_s, u"# GitHub Copilot"_s,
                           u"Copilot · Premium Requests"_s}));
    EXPECT_EQ(entries(combo(view, u"Secondary"_s)).first(), u"None");
    EXPECT_EQ(combo(view, u"Primary"_s)->currentText(), u"Claude · 5-Hour");
    EXPECT_EQ(combo(view, u"Secondary"_s)->currentText(), u"Claude · 7-Day");

    pick(view, u"Secondary"_s, u"None"_s);
    EXPECT_EQ(Preferences::instance().value(u"secondaryMenuBadge"_s).toString(), QString());
    EXPECT_TRUE(Preferences::instance().value(u"secondaryMenuBadge"_s).isValid());
    EXPECT_EQ(Preferences::instance().selectedMenuBadge(), u"Claude:session");
    EXPECT_EQ(combo(view, u"Secondary"_s)->currentText(), u"None");

    // Another writer (here: the store directly) moves the pickers too.
    Preferences::instance().setSelectedMenuBadge(u"Copilot:premium_interactions"_s);
    EXPECT_EQ(combo(view, u"Primary"_s)->currentText(), u"Copilot · Premium Requests");
}

// Every plain control writes its key with the stored raw value.
TEST_F(SettingsViewTest, ControlsWriteTheirKeys)
{
    SettingsView view(services.make());
    pick(view, u"Style"_s, u"Ring and percent"_s);
    pick(view, u"Percent in icon"_s, u"Never"_s);
    pick(view, u"Global shortcut"_s, u"Ctrl+Shift+Alt+Q"_s);
    pick(view, u"Refresh every"_s, u"2 min"_s);
    view.findChild<ToggleSwitch*>(u"Monochrome"_s)->click();
    view.findChild<ToggleSwitch*>(u"Show time to reset"_s)->toggle(); // as an assistive tool does
    QSettings raw(u"Tallyvue"_s, u"Tallyvue"_s);
    EXPECT_EQ(raw.value(u"menuBarStyle"_s).toString(), u"ring");
    EXPECT_EQ(raw.value(u"trayIconShowsPercent"_s).toString(), u"never");
    EXPECT_EQ(raw.value(u"hotKeyPreset"_s).toString(), u"ctrlShiftOptQ");
    EXPECT_EQ(raw.value(u"refreshIntervalMinutes"_s).toInt(), 2);
    EXPECT_TRUE(Preferences::instance().menuBarMonochrome());
    EXPECT_TRUE(Preferences::instance().badgeShowsCountdown());
}

// Switching alerts on asks once when nobody has asked yet and reads the status again; a
// refusal shows the warning, and its button only where the desktop has a settings tool.
TEST_F(SettingsViewTest, AlertsPermissionFlow)
{
    notifier->status = NotificationAuthorization::NotDetermined;
    notifier->afterRequest = NotificationAuthorization::Denied;
    SettingsView view(services.make());
    view.setMetrics(kMetrics);
    EXPECT_FALSE(view.currentLayout().alertControls);

    QSignalSpy read(&view, &SettingsView::viewStateRead);
    view.findChild<ToggleSwitch*>(u"Usage Alerts"_s)->click();
    ASSERT_TRUE(read.size() == 1 || read.wait(2000));
    EXPECT_TRUE(Preferences::instance().alertsEnabled());
    EXPECT_EQ(notifier->requests, 1);
    EXPECT_EQ(notifier->statusReads, 2);
    EXPECT_EQ(view.authorization(), NotificationAuthorization::Denied);
    EXPECT_TRUE(view.currentLayout().deniedWarning);
    EXPECT_FALSE(view.currentLayout().openNotificationSettings);

    // Shown again with a settings tool known: read afresh, no second request.
    notifier->canOpen = true;
    view.readViewState();
    ASSERT_TRUE(read.size() == 2 || read.wait(2000));
    EXPECT_EQ(notifier->requests, 1);
    EXPECT_TRUE(view.currentLayout().openNotificationSettings);
    // Previews switched off in the desktop get a caption, except under a provisional permission that shows none.
    using A = NotificationAuthorization;
    EXPECT_TRUE(settingsLayout({true, true, A::Authorized, ShowPreviews::Never, true, false, false}).previewsCaption);
    EXPECT_FALSE(settingsLayout({true, true, A::Provisional, ShowPreviews::Never, true, false, false}).previewsCaption);

    // Threshold pickers show the fallback, and a stored value that is none of their entries; picking stores
    // under the provider's key.
    EXPECT_EQ(combo(view, u"Claude"_s)->currentText(), u"90%");
    EXPECT_EQ(thresholdEntries(85), (QList<double>{50, 75, 85, 90, 95}));
    pick(view, u"ChatGPT"_s, u"75%"_s);
    EXPECT_EQ(Preferences::instance().alertThreshold(AIProvider::ChatGPT), 75);
    EXPECT_EQ(combo(view, u"ChatGPT"_s)->currentText(), u"75%");

    // The test alert goes out for the highest metric.
    QTest::mouseClick(view.findChild<QAbstractButton*>(u"sendTestAlert"_s), Qt::LeftButton);
    ASSERT_EQ(notifier->posted.size(), 1);
    EXPECT_EQ(notifier->posted[0].metricId, u"Copilot:premium_interactions");
}

// Launch at login: a failure sets the switch back to what the desktop will really do.
TEST_F(SettingsViewTest, LaunchAtLogin)
{
    services.enabled = true;
    SettingsView view(services.make());
    auto* toggle = view.findChild<ToggleSwitch*>(u"Launch at Login"_s);
    EXPECT_TRUE(toggle->isChecked());
    toggle->click();
    EXPECT_FALSE(services.enabled);
    EXPECT_FALSE(toggle->isChecked());

    services.failing = true;
    toggle->click();
    EXPECT_EQ(services.writes, 2);
    EXPECT_FALSE(toggle->isChecked());

    // Changed elsewhere meanwhile: showing the panel reads it again.
    services.enabled = true;
    view.readViewState();
    EXPECT_TRUE(toggle->isChecked());
}

// The header's button swaps the pages for the settings and back; Escape closes the settings
// first and the panel only after that.
TEST_F(SettingsViewTest, PopoverShowsAndClosesSettings)
{
    auto* view = new MenuBarView;
    view->setSettingsServices(services.make());
    Popover popover(view);
    UsageState state;
    state.allMetrics = kMetrics;
    view->setState(state);
    popover.show();
    for (int pass = 0; pass < 5; ++pass)
        QCoreApplication::processEvents();
    EXPECT_FALSE(view->isShowingSettings());

    view->settingsButton()->toggle();
    ASSERT_TRUE(view->settingsView());
    EXPECT_TRUE(view->settingsView()->isVisible());

    QTest::keyClick(&popover, Qt::Key_Escape);
    EXPECT_FALSE(view->isShowingSettings());
    EXPECT_FALSE(view->settingsButton()->isChecked());
    EXPECT_TRUE(view->providerSelector()->isVisible());
    EXPECT_TRUE(popover.isVisible());
    QTest::keyClick(&popover, Qt::Key_Escape);
    EXPECT_FALSE(popover.isVisible());
}
