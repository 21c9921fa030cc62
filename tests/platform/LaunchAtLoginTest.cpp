// SPDX-License-Identifier: MIT
// Launch at login through XDG autostart, with real files in the test's own HOME.
#include "platform/linux/LaunchAtLogin.h"
#include "platform/TestServers.h"
#include "support/Files.h"
#include "support/OutputCapture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

class LaunchAtLoginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart"_s).removeRecursively();
        QDir(systemDir).removeRecursively();
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(systemDir));
    }

    const QString entry = launchAtLoginEntryPath();
    const QString systemDir = QDir::tempPath() + u"/xdg-system"_s;
};

} // namespace

// The entry lives where desktops look for it, and a real launcher (gio) reading its Exec line
// starts exactly our program, however awkward the folder it sits in.
TEST_F(LaunchAtLoginTest, EntryStartsTheProgram)
{
    if (const auto why = missingTools({"gio"}))
        GTEST_SKIP() << *why;
    EXPECT_EQ(entry, qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/tallyvue.desktop"_s);
    const QString marker = QDir::tempPath() + u"/started"_s;
    const QString folders[] = {u"plain"_s, u"with space"_s, u"odd $HOME `id` \"q\" 'q' back\\slash #1"_s};
    for (const QString& folder : folders) {
        SCOPED_TRACE(folder.toStdString());
        const QString program = QDir::tempPath() + u'/' + folder + u"/tallyvue"_s;
        writeFile(program, "#!/bin/sh\nprintf '%s' \"$0\" > '" + marker.toUtf8() + "'\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(marker);

        ASSERT_TRUE(setLaunchAtLogin(true, program));
        EXPECT_TRUE(launchAtLoginEnabled());
        QProcess gio;
        gio.start(u"gio"_s, {u"launch"_s, entry});
        ASSERT_TRUE(gio.waitForFinished(10000));
        EXPECT_EQ(gio.exitCode(), 0) << gio.readAllStandardError().toStdString();
        ASSERT_TRUE(waitUntil([&] { return QFileInfo(marker).size() > 0; }));
        EXPECT_EQ(QString::fromUtf8(readFile(marker)), program);
    }
    // gio looks for the program before it expands %%, so a percent sign is checked here only.
    EXPECT_EQ(detail::desktopExecArgument(u"/opt/100%/tallyvue"_s), u"/opt/100%%/tallyvue"_s);
    EXPECT_EQ(detail::desktopExecArgument(u"/opt/a b%/tallyvue"_s), u"\"/opt/a b%%/tallyvue\""_s);
}

// Switching off removes our entry; when the system starts Tallyvue for every user, a hiding
// entry of the user's own is written instead.
TEST_F(LaunchAtLoginTest, SwitchingOff)
{
    ASSERT_TRUE(setLaunchAtLogin(true, u"/usr/bin/tallyvue"_s));
    ASSERT_TRUE(setLaunchAtLogin(false));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(launchAtLoginEnabled());
    ASSERT_TRUE(setLaunchAtLogin(false)); // nothing to remove is no failure

    writeFile(systemDir + u"/autostart/tallyvue.desktop"_s, "[Desktop Entry]\nExec=tallyvue\n");
    ASSERT_TRUE(setLaunchAtLogin(false));
    EXPECT_TRUE(readFile(entry).contains("\nHidden=true\n"));
    EXPECT_FALSE(launchAtLoginEnabled());
    ASSERT_TRUE(setLaunchAtLogin(true, u"/usr/bin/tallyvue"_s));
    EXPECT_TRUE(launchAtLoginEnabled());
    writeFile(entry, "[Desktop Entry]\nExec=tallyvue\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(launchAtLoginEnabled()); // GNOME's own switch counts too
}

// A failure is logged and reported; the toggle then reads the real state.
TEST_F(LaunchAtLoginTest, FailureIsLogged)
{
    writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart"_s, "not a folder");
    OutputCapture output;
    EXPECT_FALSE(setLaunchAtLogin(true, u"/usr/bin/tallyvue"_s));
    const QString out = QString::fromUtf8(output.text());
    EXPECT_TRUE(out.startsWith(u"[Tallyvue] Launch at login error: cannot create the folder "_s)) << out.toStdString();
    EXPECT_FALSE(launchAtLoginEnabled());
}
