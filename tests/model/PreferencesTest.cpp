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
    // Read at the moment of use; only exactly "remaining" is that mode, other texts fall back.
    QSettings(u"Tallyvue"_s, u"Tallyvue"_s).setValue(u"quotaDisplayMode"_s, u"Remaining"_s);
    EXPECT_EQ(prefs.quotaDisplayMode(), QuotaDisplayMode::Used);
}
