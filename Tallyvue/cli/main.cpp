// SPDX-License-Identifier: MIT
// tallyvue-cli: the core of Tallyvue without a display.
#include "BuildInfo.h"
#include "cli/Commands.h"
#include "model/Log.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {

namespace {

const char kUsage[] = R"(Usage: tallyvue-cli <command> [options]

Commands:
  fetch [--json]                  refresh every provider once and print the quota windows
  status [--json | --waybar]      print the last snapshot written by Tallyvue (no network)
  history export [FILE]           write the usage history as CSV (to FILE, or standard output)
  history clear                   delete the usage history
  local [--json] [--days N]       token usage of this computer's Claude Code and Codex transcripts
  report daily|weekly|monthly|session|blocks [options]
                                  token usage over any range (see report --help)
  alert test                      send a test threshold alert
  alert status                    show whether notifications can be shown

Options:
  -h, --help                      show this help
  -v, --version                   show the version
)";

} // namespace

int usageError(const QString& message)
{
    QTextStream err(stderr);
    err << "tallyvue-cli: " << message << "\n\n" << kUsage;
    return 2;
}

} // namespace tallyvue::cli

int main(int argc, char** argv)
{
    using namespace tallyvue;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Tallyvue"_s);
    QCoreApplication::setOrganizationName(u"Tallyvue"_s);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(build::kVersion));
    setLogSink(LogSink::StandardError);

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return cli::usageError(u"no command given"_s);
    const QString command = args.takeFirst();
    if (command == u"-h" || command == u"--help" || command == u"help") {
        std::fputs(cli::kUsage, stdout);
        return 0;
    }
    if (command == u"-v" || command == u"--version") {
        std::printf("tallyvue-cli %s (%s)\n", build::kVersion, build::kBuildNumber);
        return 0;
    }

    using Runner = int (*)(const QStringList&);
    const std::pair<QStringView, Runner> commands[] = {
        {u"fetch", cli::runFetch}, {u"status", cli::runStatus}, {u"history", cli::runHistory},
        {u"local", cli::runLocal}, {u"report", cli::runReport}, {u"alert", cli::runAlert},
    };
    for (const auto& [name, run] : commands) {
        if (command == name)
            return run(args);
    }
    return cli::usageError(u"unknown command '"_s + command + u'\'');
}
