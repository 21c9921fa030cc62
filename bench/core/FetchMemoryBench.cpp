// SPDX-License-Identifier: MIT
// Runs `tallyvue-cli fetch` against a local server with all three providers answering and
// prints the child's peak resident memory and wall time (best of a few runs).
#include "support/HttpServer.h"
#include "support/SampleProviders.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
    serveSampleProviders(server);
    const QProcessEnvironment env = sampleProviderEnvironment(home.path(), server);

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
