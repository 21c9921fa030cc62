// SPDX-License-Identifier: MIT
// One Tallyvue per user, with real processes (tallyvue-instance-probe) in the test's own HOME.
#include "platform/linux/SingleInstance.h"
#include "platform/TestServers.h"
#include "support/OutputCapture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

const QString kProbe = QStringLiteral(TALLYVUE_INSTANCE_PROBE);

class Copy
{
public:
    explicit Copy(const QString& program = kProbe)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, {});
    }
    ~Copy()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    bool exitsWith(int code)
    {
        return waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, 10000) &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == code;
    }
    bool finished() const { return m_process.state() == QProcess::NotRunning; }
    QString output()
    {
        m_output += QString::fromUtf8(m_process.readAll());
        return m_output;
    }

private:
    QProcess m_process;
    QString m_output;
};

} // namespace

// Copies started together end with exactly one running, which says nothing else; each other copy
// exits 0 naming both programs. A later copy from elsewhere brings the running one forward (its
// popover opens).
TEST(SingleInstanceTest, OneCopyRunsAndOthersHandOver)
{
    std::vector<std::unique_ptr<Copy>> copies;
    for (int i = 0; i < 4; ++i)
        copies.push_back(std::make_unique<Copy>());
    const auto settled = [](Copy& copy) { return copy.output().contains(u"ready"_s) || copy.finished(); };
    ASSERT_TRUE(waitUntil(
        [&] { return std::all_of(copies.begin(), copies.end(), [&](auto& c) { return settled(*c); }); }, 10000));
    const QString handedOver = u"[Tallyvue] Another instance is running at "_s + kProbe + u"; quitting this one ("_s;
    Copy* running = nullptr;
    int runningCopies = 0;
    int others = 0;
    for (auto& copy : copies) {
        if (copy->output().startsWith(u"ready\n"_s)) {
            running = copy.get();
            ++runningCopies;
        } else if (copy->exitsWith(0) && copy->output() == handedOver + kProbe + u")\n"_s) {
            ++others;
        }
    }
    ASSERT_EQ(runningCopies, 1);
    EXPECT_EQ(others, 3);

    const QString other = QDir::tempPath() + u"/elsewhere/tallyvue-instance-probe"_s;
    QDir().mkpath(QDir::tempPath() + u"/elsewhere"_s);
    QFile::remove(other);
    ASSERT_TRUE(QFile::copy(kProbe, other));
    Copy later(other);
    ASSERT_TRUE(later.exitsWith(0));
    EXPECT_EQ(later.output(), handedOver + other + u")\n"_s);
    const QString opened = u"ready\n"_s + u"popover opened\n"_s.repeated(4); // once for each other copy
    EXPECT_TRUE(waitUntil([&] { return running->output() == opened; })) << running->output().toStdString();
}

// Without XDG_RUNTIME_DIR the socket lives in a 0700 folder of ours under the shared temporary
// folder. A folder there that others may enter, a link, or another user's folder is not trusted:
// the copy runs without looking for others rather than talk to whatever waits inside.
TEST(SingleInstanceTest, PrivateFolderWithoutRuntimeDir)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", runtime); });
    qunsetenv("XDG_RUNTIME_DIR");
    const QString folder = QDir::tempPath() + u"/tallyvue-"_s + QString::number(::getuid());
    const QByteArray name = QFile::encodeName(folder);
    const char* const raw = name.constData();
    EXPECT_EQ(SingleInstance::socketPath(), folder + u"/instance.sock"_s);

    const QString elsewhere = QDir::tempPath() + u"/elsewhere-private"_s;
    const std::tuple<const char*, std::function<bool()>, bool> cases[] = {
        {"missing", [] { return true; }, true},
        {"open to others", [&] { return ::mkdir(raw, 0700) == 0 && ::chmod(raw, 0755) == 0; }, false},
        {"a link", [&] { return QDir().mkpath(elsewhere) && QFile::link(elsewhere, folder); }, false},
        {"another user's", [&] { return ::mkdir(raw, 0700) == 0 && ::chown(raw, 65534, 65534) == 0; }, false},
    };
    for (const auto& [what, arrange, used] : cases) {
        SCOPED_TRACE(what);
        QFile::remove(folder);
        QDir(folder).removeRecursively();
        if (!arrange()) {
            ASSERT_NE(::getuid(), 0u); // only root may give a folder away
            continue;
        }
        SingleInstance instance;
        OutputCapture output;
        EXPECT_TRUE(instance.claim());
        const QByteArray log = output.text();
        if (used) {
            EXPECT_TRUE(log.isEmpty()) << log.constData();
            EXPECT_FALSE(QFileInfo(folder).permissions().testAnyFlags(QFile::ReadGroup | QFile::WriteGroup |
                                                                      QFile::ExeGroup | QFile::ReadOther |
                                                                      QFile::WriteOther | QFile::ExeOther));
            EXPECT_TRUE(QFileInfo::exists(SingleInstance::socketPath()));
        } else {
            EXPECT_TRUE(log.startsWith(QByteArray("[Tallyvue] Not checking for other copies: " + name + " is unsafe")))
                << log.constData();
            EXPECT_FALSE(QFileInfo::exists(folder + u"/instance.sock"_s));
        }
    }
    QFile::remove(folder);
    QDir(folder).removeRecursively();
}
