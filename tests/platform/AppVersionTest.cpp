// SPDX-License-Identifier: MIT
#include "platform/linux/AppVersion.h"
#include "platform/linux/UpdaterController.h"
#include "support/OutputCapture.h"

#include <gtest/gtest.h>

using namespace tallyvue;
using tallyvue::test::OutputCapture;
using namespace Qt::StringLiterals;

// Only a program under an installed location goes without the "Local build" label.
TEST(AppVersionTest, LocalBuildLabel)
{
    const QString home = u"/home/ada"_s;
    struct Row
    {
        QString path;
        bool local;
    } rows[] = {
        {u"/usr/bin/tallyvue"_s, false},
        {u"/usr/local/bin/tallyvue"_s, false},
        {u"/opt/tallyvue/bin/tallyvue"_s, false},
        {u"/home/ada/.local/bin/tallyvue"_s, false},
        {u"/app/bin/tallyvue"_s, false},
        {u"/home/ada/src/tallyvue/build/bin/tallyvue"_s, true},
        {u"/home/ada/.localstuff/tallyvue"_s, true},
        {u"/usr/../home/ada/build/tallyvue"_s, true},
        {u"/usrx/bin/tallyvue"_s, true},
        {u"/tmp/tallyvue"_s, true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(localBuildLabel(row.path, home).has_value(), row.local) << row.path.toStdString();
}

// The updater is never configured on Linux: it says so once, and checks stay off.
TEST(AppVersionTest, UpdaterIsNotConfigured)
{
    struct Row
    {
        QString feed, key;
        bool configured;
    } rows[] = {
        {u"https://example.org/appcast.xml"_s, u"key"_s, true},
        {u"https://example.org/REPLACE-ME/appcast.xml"_s, u"key"_s, false},
        {u"https://example.org/appcast.xml"_s, {}, false},
        {{}, u"key"_s, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(UpdaterController::isConfiguredFor(row.feed, row.key), row.configured) << row.feed.toStdString();

    OutputCapture output;
    const UpdaterController& updater = UpdaterController::shared();
    UpdaterController::shared();
    EXPECT_EQ(output.text(),
              "[Tallyvue] Sparkle not configured (SUFeedURL/SUPublicEDKey missing); update checks disabled\n");
    EXPECT_FALSE(updater.isConfigured());
    EXPECT_FALSE(updater.canCheckForUpdates());
}
