// SPDX-License-Identifier: MIT
#include "model/Preferences.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

class PreferencesTest : public ::testing::Test
{
protected:
    void SetUp() override { QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear(); }
    Preferences& prefs = Preferences::instance();
};

// Values written by another process (or by hand) are read at the moment of use, and
// unknown texts fall back to the default instead of failing.
TEST_F(PreferencesTest, ReadsStoreAtUseAndFallsBack)
{
    QSettings raw(u"Tallyvue"_s, u"Tallyvue"_s);
    raw.setValue(u"selectedPage"_s, u"overview"_s);
    raw.setValue(u"detailPage"_s, u"Gemini"_s);
    raw.setValue(u"selectedTab"_s, u"This Mac"_s);
    raw.setValue(u"quotaDisplayMode"_s, u"Remaining"_s);
    raw.setValue(u"menuBarStyle"_s, u"ring"_s);
    raw.setValue(u"refreshIntervalMinutes"_s, 7);
    raw.setValue(u"alertThreshold.ChatGPT"_s, 75.5);
    raw.setValue(u"alertsEnabled"_s, u"banana"_s);
    raw.sync();

    EXPECT_EQ(prefs.selectedPage(), WorkspacePage{});
    EXPECT_EQ(prefs.detailPage(), WorkspacePage{AIProvider::Claude});
    EXPECT_EQ(prefs.selectedTab(), AppTab::ThisMac);
    EXPECT_EQ(prefs.quotaDisplayMode(), QuotaDisplayMode::Used); // only exactly "remaining"
    EXPECT_EQ(prefs.menuBarStyle(), MenuBarStyle::Ring);
    EXPECT_EQ(prefs.refreshIntervalMinutes(), 7);
    EXPECT_EQ(prefs.alertThreshold(AIProvider::ChatGPT), 75.5);
    EXPECT_FALSE(prefs.alertsEnabled());
    // The details window's This Computer page is no page of the popover.
    raw.setValue(u"selectedPage"_s, u"computer"_s);
    raw.setValue(u"detailPage"_s, u"computer"_s);
    raw.sync();
    EXPECT_EQ(prefs.selectedPage(), WorkspacePage{AIProvider::Claude});
    EXPECT_EQ(prefs.detailPage(), (WorkspacePage{std::nullopt, true}));

    prefs.setAlertsEnabled(true);
    prefs.setQuotaDisplayMode(QuotaDisplayMode::Remaining);
    EXPECT_TRUE(prefs.alertsEnabled());
    EXPECT_EQ(QSettings(u"Tallyvue"_s, u"Tallyvue"_s).value(u"quotaDisplayMode"_s).toString(), u"remaining");
}

// changed(key) fires for a real change only, also when the stored value came back from the
// file as text: listeners restart the refresh loop or re-grab the shortcut on it.
TEST_F(PreferencesTest, ChangedOnlyForRealChanges)
{
    QStringList seen;
    const auto connection =
        QObject::connect(&prefs, &Preferences::changed, [&seen](const QString& key) { seen.append(key); });
    prefs.setRefreshIntervalMinutes(5);
    prefs.setRefreshIntervalMinutes(5);
    prefs.setAlertsEnabled(false);
    prefs.setAlertsEnabled(false);
    prefs.setSecondaryMenuBadge(QString());
    prefs.setSecondaryMenuBadge(QString());
    prefs.setAlertThreshold(AIProvider::Claude, 75);
    {
        QSettings raw(u"Tallyvue"_s, u"Tallyvue"_s);
        raw.setValue(u"quotaDisplayMode"_s, u"remaining"_s);
        raw.setValue(u"menuBarMonochrome"_s, u"true"_s);
    }
    prefs.setQuotaDisplayMode(QuotaDisplayMode::Remaining);
    prefs.setMenuBarMonochrome(true);
    prefs.setAlertThreshold(AIProvider::Claude, 75.0);
    prefs.setRefreshIntervalMinutes(2);
    QObject::disconnect(connection);
    EXPECT_EQ(seen, (QStringList{u"refreshIntervalMinutes"_s, u"alertsEnabled"_s, u"secondaryMenuBadge"_s,
                                 u"alertThreshold.Claude"_s, u"refreshIntervalMinutes"_s}));
    EXPECT_EQ(prefs.refreshIntervalMinutes(), 2);
}
