// SPDX-License-Identifier: MIT
// What the command-line tests share: running the real tallyvue-cli against a private home and a
// loopback server.
#pragma once

#include "BuildInfo.h"
#include "history/HistoryStore.h"
#include "model/Timestamp.h"
#include "platform/linux/SingleInstance.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <iostream>
#include <linux/capability.h>
#include <memory>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace clitest {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
    bool finished = false;
};

/// Runs the event loop, so that the loopback server answers, until `process` has ended or
/// `timeoutMs` has passed; true when it ended. Not QCoro's process awaiter, which crashed here in
/// clang builds (coverage).
inline bool waitWhileServing(QProcess& process, int timeoutMs)
{
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    return process.state() == QProcess::NotRunning;
}

struct CliOptions
{
    std::function<void()> prepare = {}; ///< runs in the child before tallyvue-cli starts (umask, capabilities)
    QByteArray input = {};              ///< on standard input, closed after it
    QStringList environment = {};       ///< "NAME=value", added to the test's own
    int timeoutMs = 30000;
};

inline CliRun cli(const QStringList& args, const CliOptions& options = {})
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : options.environment)
        variables.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    process.setProcessEnvironment(variables);
    if (options.prepare)
        process.setChildProcessModifier(options.prepare);
    process.start(QStringLiteral(TALLYVUE_CLI_PATH), args);
    process.write(options.input);
    process.closeWriteChannel();
    const bool finished = process.waitForStarted() && waitWhileServing(process, options.timeoutMs);
    return CliRun{finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                  QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError()),
                  finished};
}

/// In the child: without the capabilities that let root pass over file modes, so that chmod and
/// read-only folders hold for a test run as root as they do for a user.
inline void withoutFileOverrides()
{
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

/// What is at `path`, for before-and-after comparisons: its kind, mode and owner, and a file's
/// bytes or a link's target.
inline QByteArray describe(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0)
        return "missing";
    const QByteArray head = QByteArray::number(info.st_mode, 8) + ' ' + QByteArray::number(info.st_uid) + ' ';
    if (S_ISLNK(info.st_mode))
        return head + "link to " + QFile::encodeName(QFile::symLinkTarget(path));
    if (!S_ISREG(info.st_mode))
        return head;
    QFile file(path);
    return head + (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable"));
}

/// `count` history lines, one a minute up to now.
inline QByteArray historyLines(int count)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QByteArray text;
    for (int i = count; i > 0; --i)
        text += *HistoryStore::encodeLine(
                    {now.addSecs(-60 * i), {{AIProvider::Claude, u"session"_s, 40.0 + i % 9, u"5-Hour"_s, now}}}) +
                '\n';
    return text;
}

/// A snapshot holding `metrics` (provider, kind, title, percent) in `mode`.
inline QByteArray snapshotOf(const QList<std::tuple<QString, QString, QString, double>>& metrics,
                             const QString& mode = u"used"_s, qint64 ageSeconds = 10)
{
    QJsonArray array;
    for (const auto& [provider, kind, title, percent] : metrics)
        array.append(
            QJsonObject{{u"provider"_s, provider}, {u"kind"_s, kind}, {u"title"_s, title}, {u"percent"_s, percent}});
    const QDateTime written = QDateTime::currentDateTimeUtc().addSecs(-ageSeconds);
    return QJsonDocument(QJsonObject{{u"timestamp"_s, formatWholeSecondTimestamp(written)},
                                     {u"metrics"_s, array},
                                     {u"displayMode"_s, mode}})
        .toJson(QJsonDocument::Compact);
}

/// Runs `count` copies of tallyvue-cli with `args` at once; the exit codes.
inline QList<int> runCliTogether(int count, const QStringList& args)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < count; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(QStringLiteral(TALLYVUE_CLI_PATH), args);
    }
    QList<int> codes;
    for (auto& process : processes) {
        waitWhileServing(*process, 120000);
        codes.append(process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1);
    }
    return codes;
}

} // namespace clitest

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.start());
        for (const char* name : {"TALLYVUE_CLAUDE_API", "TALLYVUE_CHATGPT_API", "TALLYVUE_COPILOT_API"})
            qputenv(name, m_server.origin().toUtf8());
        qputenv("CLAUDE_CODE_OAUTH_TOKEN", "claude-token");
        m_server.setResponse(
            "/api/oauth/usage",
            ScriptedResponse::json(200, R"({"five_hour":{"utilization":42.7,"resets_at":"2099-01-01T00:00:00Z"}})"));
        QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear();
        HistoryStore::clear();
        QFile::remove(*widgetSnapshotPath());
    }

    HttpServer m_server;
};

using namespace clitest;
