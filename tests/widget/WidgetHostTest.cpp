// SPDX-License-Identifier: MIT
#include "host/WidgetWindow.h"
#include "logic/WidgetConfiguration.h"
#include "platform/TestServers.h"
#include "ui/SmallUsageView.h"
#include "ui/UsageWidgetView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;
using tallyvue::test::waitUntil;

namespace {

QString snapshotPath()
{
    return snapshotFilePath().value();
}

/// Replaces the file the way the application does: a temporary file renamed over the old one.
void writeAtomically(double percent)
{
    QDir().mkpath(QFileInfo(snapshotPath()).absolutePath());
    QSaveFile file(snapshotPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"timestamp":"2026-01-05T12:00:00Z","metrics":[{"provider":"Claude","kind":"session",)"
               R"("title":"5-Hour","percent":)" +
               QByteArray::number(percent) + "}]}");
    ASSERT_TRUE(file.commit());
}

QString smallPercent(const WidgetWindow& window)
{
    const auto& content = window.view()->smallView()->content();
    return window.view()->showsEmptyState() || !content ? u"empty"_s : content->percentText;
}

class WidgetHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(QFileInfo(snapshotPath()).absolutePath()).removeRecursively();
        QSettings(u"Tallyvue"_s, u"tallyvue-widget"_s).clear();
    }
};

struct ProcessResult
{
    int status = -1;
    QString errors;
};

ProcessResult runWidget(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TALLYVUE_WIDGET_BINARY), arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000); // a program that had to be killed fails the run
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

// The application replaces the file while the widget runs: the new values show without a restart,
// also when the shared folder only appears later and when the file goes away.
TEST_F(WidgetHostTest, FollowsTheSnapshotFile)
{
    WidgetWindow window(UsageTimelineProvider::Source::File, WidgetFamily::Small);
    window.show();
    EXPECT_EQ(smallPercent(window), u"empty"_s);

    writeAtomically(42); // creates the shared folder, which did not exist when the widget started
    EXPECT_TRUE(waitUntil([&] { return smallPercent(window) == u"42%"; })) << smallPercent(window).toStdString();
    writeAtomically(77.9);
    EXPECT_TRUE(waitUntil([&] { return smallPercent(window) == u"77%"; })) << smallPercent(window).toStdString();
    QFile::remove(snapshotPath());
    EXPECT_TRUE(waitUntil([&] { return smallPercent(window) == u"empty"; }));
}

// The family chosen in the menu is remembered, a --family choice is not; each family keeps its own place.
TEST_F(WidgetHostTest, RemembersFamilyAndPosition)
{
    {
        WidgetWindow window(UsageTimelineProvider::Source::Sample, std::nullopt);
        EXPECT_EQ(window.family(), WidgetFamily::Small);
        window.show();
        window.move(40, 50);
        window.setFamily(WidgetFamily::Medium);
        window.move(120, 90);
    }
    {
        WidgetWindow window(UsageTimelineProvider::Source::Sample, std::nullopt);
        EXPECT_EQ(window.family(), WidgetFamily::Medium);
        EXPECT_EQ(window.pos(), QPoint(120, 90));
        EXPECT_EQ(window.view()->family(), WidgetFamily::Medium);
    }
    {
        WidgetWindow window(UsageTimelineProvider::Source::Sample, WidgetFamily::Small);
        EXPECT_EQ(window.family(), WidgetFamily::Small);
        EXPECT_EQ(window.pos(), QPoint(40, 50));
    }
    EXPECT_EQ(WidgetWindow(UsageTimelineProvider::Source::Sample, std::nullopt).family(), WidgetFamily::Medium);

    // A place partly off the screen is pulled back onto it; one on a screen that is gone starts at the top right.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QSettings(u"Tallyvue"_s, u"tallyvue-widget"_s)
        .setValue(u"position/medium"_s, screen.bottomRight() - QPoint(100, 50));
    WidgetWindow partly(UsageTimelineProvider::Source::Sample, std::nullopt);
    EXPECT_EQ(partly.frameGeometry().bottomRight(), screen.bottomRight());
    QSettings(u"Tallyvue"_s, u"tallyvue-widget"_s).setValue(u"position/medium"_s, QPoint(50000, 50000));
    WidgetWindow lost(UsageTimelineProvider::Source::Sample, std::nullopt);
    EXPECT_EQ(lost.frameGeometry().topRight(), screen.topRight() + QPoint(-24, 24));
}

// The program's options: a picture at 2x of either family, and clear errors for what it cannot do.
TEST_F(WidgetHostTest, CommandLine)
{
    QTemporaryDir folder;
    const QString picture = folder.filePath(u"medium.png"_s);
    ProcessResult run = runWidget({u"--family"_s, u"medium"_s, u"--preview"_s, u"--render"_s, picture});
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(QImage(picture).size(), QSize(728, 340));

    writeAtomically(50);
    run = runWidget({u"--render"_s, folder.filePath(u"small.png"_s)});
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(QImage(folder.filePath(u"small.png"_s)).size(), QSize(340, 340));

    run = runWidget({u"--family"_s, u"large"_s});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.errors.contains(u"unknown family 'large' (use small or medium)"_s)) << run.errors.toStdString();
    run = runWidget({u"--theme"_s, u"sepia"_s, u"--render"_s, picture});
    EXPECT_EQ(run.status, 2);
    run = runWidget({u"--render"_s, folder.filePath(u"missing/folder/x.png"_s)});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.errors.contains(u"could not write the picture"_s)) << run.errors.toStdString();
}

// Anything but a regular file at the snapshot path (a FIFO, a link to a device) shows the empty
// widget at once instead of blocking the program or reading without end.
TEST_F(WidgetHostTest, RefusesWhatIsNotARegularFile)
{
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(snapshotPath());
    const std::pair<const char*, std::function<bool()>> cases[] = {
        {"FIFO", [&] { return ::mkfifo(path.constData(), 0600) == 0; }},
        {"link to /dev/zero", [&] { return ::symlink("/dev/zero", path.constData()) == 0; }},
    };
    for (const auto& [name, arrange] : cases) {
        SCOPED_TRACE(name);
        QDir(QFileInfo(snapshotPath()).absolutePath()).removeRecursively();
        QDir().mkpath(QFileInfo(snapshotPath()).absolutePath());
        ASSERT_TRUE(arrange());
        const ProcessResult run = runWidget({u"--render"_s, folder.filePath(u"empty.png"_s)});
        EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    }
    QDir(QFileInfo(snapshotPath()).absolutePath()).removeRecursively();
}
