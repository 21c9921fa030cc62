// SPDX-License-Identifier: MIT
// Runs `tallyvue-cli fetch` against a local server with all three providers answering and
// prints the child's peak resident memory and wall time (best of a few runs).
#include "support/HttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <qcoro/qcoroprocess.h>
#include <qcoro/qcorotask.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
}

QCoro::Task<int> runFetch(QProcessEnvironment env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProgram(QStringLiteral(TALLYVUE_CLI_PATH));
    process.setArguments({u"fetch"_s});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    co_await qCoro(process).start();
    co_await qCoro(process).waitForFinished(60000);
    co_return process.exitCode();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    HttpServer server;
    if (!server.start())
        return 1;
    server.setResponse("/api/oauth/usage", ScriptedResponse::json(200, R"({"five_hour":{"utilization":42.5,)"
                                                                       R"("resets_at":"2099-01-01T00:00:00Z"},)"
                                                                       R"("seven_day":{"utilization":63}})"));
    server.setResponse("/backend-api/wham/usage",
                       ScriptedResponse::json(200, R"({"rate_limit":{"primary_window":{"used_percent":12}}})"));
    server.setResponse("/copilot_internal/user",
                       ScriptedResponse::json(200, R"({"quota_snapshots":{"chat":{"percent_remaining":80}}})"));
    writeFile(home.path() + u"/.codex/auth.json"_s, R"({"tokens":{"access_token":"t"}})");
    writeFile(home.path() + u"/.config/github-copilot/apps.json"_s, R"({"a":{"oauth_token":"t"}})");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.path() + u"/config"_s);
    env.insert(u"XDG_DATA_HOME"_s, home.path() + u"/data"_s);
    env.insert(u"CLAUDE_CODE_OAUTH_TOKEN"_s, u"t"_s);
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"disabled:"_s);
    for (const QString& name : {u"TALLYVUE_CLAUDE_API"_s, u"TALLYVUE_CHATGPT_API"_s, u"TALLYVUE_COPILOT_API"_s})
        env.insert(name, server.origin());

    qint64 best = -1;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const int code = QCoro::waitFor(runFetch(env));
        const qint64 elapsed = timer.elapsed();
        if (code != 0) {
            std::fprintf(stderr, "tallyvue-cli fetch exited %d\n", code);
            return 1;
        }
        best = best < 0 ? elapsed : std::min(best, elapsed);
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage); // the largest peak of any finished child
    std::printf("tallyvue-cli fetch: peak resident memory %.1f MB (target < 40 MB), best wall time %lld ms, "
                "%d requests served\n",
                double(usage.ru_maxrss) / 1024.0, static_cast<long long>(best), int(server.requests().size()));
    return 0;
}
