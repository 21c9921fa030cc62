// SPDX-License-Identifier: MIT
// tallyvue-cli: the core of Tallyvue without a display.
#include "BuildInfo.h"
#include "cli/Commands.h"
#include "model/Formatting.h"
#include "model/Log.h"
#include "model/SafeFile.h"

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
  statusline [options]            the status line for Claude Code (see statusline --help)

Options:
  -h, --help                      show this help
  -v, --version                   show the version
)";

} // namespace

const char kFetchUsage[] = R"(Usage: tallyvue-cli fetch [--json]

Refreshes every provider once, as the tray application does, and prints each quota window with
its reset time, then each provider's error. Records the result in the usage history and the
widget snapshot. Exits 1 when no provider delivered anything.

  --json      one JSON object: "timestamp", "metrics" and "errors"
)";

const char kStatusUsage[] = R"(Usage: tallyvue-cli status [--json | --waybar]

Prints the figures of the last snapshot written by Tallyvue, without any network access. When
the snapshot is old (Tallyvue has stopped refreshing), its age follows the figures.

  --json      the snapshot as JSON, with "updatedAt" and "ageSeconds"
  --waybar    one line for a waybar custom module: text, tooltip, class, percentage
              (class "stale" is added when the figures are old)
)";

const char kHistoryUsage[] = R"(Usage: tallyvue-cli history export [FILE]
       tallyvue-cli history clear

  export      writes the usage history as CSV to FILE, or to standard output
  clear       deletes the usage history
)";

const char kLocalUsage[] = R"(Usage: tallyvue-cli local [--json] [--days N]

Token usage of this computer's Claude Code and Codex transcripts per day and model, with its
cost at API list prices. Reads ~/.claude/projects, ~/.config/claude/projects and
~/.codex/sessions ($CLAUDE_CONFIG_DIR/projects and $CODEX_HOME/sessions when those are set).

  --json      one JSON object instead of the table
  --days N    the last N days, 1 to 8 (default 8)
)";

const char kAlertUsage[] = R"(Usage: tallyvue-cli alert test
       tallyvue-cli alert status

  test        sends a sample threshold alert, marked as a test
  status      shows whether notifications can be shown, and the alert thresholds
)";

const char kStatuslineUsage[] = R"(Usage: tallyvue-cli statusline [--segments LIST] [--compact]
       tallyvue-cli statusline --install [--segments LIST] [--compact] [--force]
       tallyvue-cli statusline --uninstall [--force]

Prints one line for Claude Code's status line from the JSON object Claude Code pipes to it, for
example "5h 24% · 7d 82% │ Codex 31% │ Opus 4.6 · $1.84". Claude's windows come from that object
when it carries them, else from Tallyvue's snapshot, like ChatGPT's and Copilot's (only while
the snapshot is current). Percentages have the tray's level colours unless NO_COLOR is set.
Whatever it is given, it prints a line and exits 0; it never uses the network. The windows
Claude Code reports are kept in Tallyvue's data folder for the app.

  --segments LIST   which parts, in order, from claude, codex, copilot, model, cost, context,
                    resets (default claude,codex,copilot,model,cost)
  --compact         shorter labels and separators
  --install         make it Claude Code's status line in ~/.claude/settings.json
                    ($CLAUDE_CONFIG_DIR/settings.json when set), with the options given,
                    keeping every other setting
  --uninstall       remove it from there
  --force           replace or remove another program's status line
)";

int usageError(const QString& message)
{
    QTextStream err(stderr);
    err << "tallyvue-cli: " << printableText(message) << "\n\n" << kUsage;
    return 2;
}

} // namespace tallyvue::cli

int main(int argc, char** argv)
{
    using namespace tallyvue;
    safefile::hardenProcess(); // before any token is read
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
    struct Command
    {
        QStringView name;
        Runner run;
        const char* usage;
    };
    const Command commands[] = {
        {u"fetch", cli::runFetch, cli::kFetchUsage},
        {u"status", cli::runStatus, cli::kStatusUsage},
        {u"history", cli::runHistory, cli::kHistoryUsage},
        {u"local", cli::runLocal, cli::kLocalUsage},
        {u"report", cli::runReport, nullptr}, // each report kind answers --help itself
        {u"alert", cli::runAlert, cli::kAlertUsage},
        {u"statusline", cli::runStatusline, cli::kStatuslineUsage},
    };
    for (const Command& entry : commands) {
        if (command != entry.name)
            continue;
        if (entry.usage && (args.contains(u"--help"_s) || args.contains(u"-h"_s))) {
            std::fputs(entry.usage, stdout);
            return 0;
        }
        return entry.run(args);
    }
    return cli::usageError(u"unknown command '"_s + command + u'\'');
}
