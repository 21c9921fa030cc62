// SPDX-License-Identifier: MIT
// tallyvue-cli report: token usage and its API value over any range, read from every
// transcript once.
#include "cli/Commands.h"
#include "cli/ReportOutput.h"
#include "local/LocalUsageScanner.h"
#include "model/Log.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTextStream>

#include <chrono>
#include <cstdio>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

const char kReportUsage[] = R"(Usage: tallyvue-cli report <daily|weekly|monthly|session|blocks> [options]

Token usage of this computer's Claude Code and Codex transcripts over any range, with its
cost at API list prices. Every transcript is read; --since skips files not changed since.

Reports:
  daily                 one row per day
  weekly                one row per week (--start-of-week monday|sunday; default: the locale's)
  monthly               one row per month
  session               one row per transcript, by last activity
  blocks                5-hour blocks, the open one beside the provider's own window

Options:
  --since YYYY-MM-DD    first day to count (inclusive, in the report's time zone)
  --until YYYY-MM-DD    last day to count (inclusive)
  --project NAME        only this project (repeat for several)
  --provider claude|chatgpt
                        only this provider's transcripts
  --timezone ZONE       an IANA time zone such as Europe/Berlin (default: the system's)
  --breakdown           a row per model under each period, session or block
  --json                JSON instead of the table
  --csv                 CSV instead of the table
  -h, --help            show this help
)";

const char* kindHelp(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Daily:
        return "Usage: tallyvue-cli report daily [options]\n\n"
               "One row per calendar day of the report's time zone, oldest first.\n";
    case ReportKind::Weekly:
        return "Usage: tallyvue-cli report weekly [--start-of-week monday|sunday] [options]\n\n"
               "One row per week, named by its first day; weeks start on the locale's first day\n"
               "unless --start-of-week says otherwise.\n";
    case ReportKind::Monthly:
        return "Usage: tallyvue-cli report monthly [options]\n\nOne row per calendar month, oldest first.\n";
    case ReportKind::Session:
        return "Usage: tallyvue-cli report session [options]\n\n"
               "One row per transcript (a Claude Code session, a Codex rollout) with its project, first\n"
               "and last request and models, sorted by last activity.\n";
    case ReportKind::Blocks:
        return "Usage: tallyvue-cli report blocks [options]\n\n"
               "5-hour blocks per provider: a block starts at its first request's hour and lasts 5 hours;\n"
               "the next request after its end starts a new one. Tok/min is the block's tokens per minute\n"
               "between its first and last request. For the block still open, the provider's own 5-hour\n"
               "window from Tallyvue's last snapshot gives the bounds, and Quota its used percent.\n";
    }
    return "";
}

const char kCommonOptions[] = R"(
Options:
  --since YYYY-MM-DD    first day to count (inclusive, in the report's time zone)
  --until YYYY-MM-DD    last day to count (inclusive)
  --project NAME        only this project (repeat for several)
  --provider claude|chatgpt
  --timezone ZONE       an IANA time zone (default: the system's)
  --breakdown           a row per model
  --json | --csv        machine-readable output instead of the table
)";

int reportError(const QString& message)
{
    QTextStream err(stderr);
    err << "tallyvue-cli report: " << message << "\nRun 'tallyvue-cli report --help' for the options.\n";
    return 2;
}

std::optional<QDate> parseDay(const QString& text)
{
    static const QRegularExpression form(u"^\\d{4}-\\d{2}-\\d{2}$"_s);
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

QList<ProviderMetric> snapshotMetrics()
{
    const auto path = widgetSnapshotPath();
    if (!path)
        return {};
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto snapshot = decodeWidgetSnapshot(file.readAll());
    return snapshot ? snapshot->metrics : QList<ProviderMetric>{};
}

bool colourWanted()
{
    return ::isatty(STDOUT_FILENO) && qEnvironmentVariableIsEmpty("NO_COLOR") && qgetenv("TERM") != "dumb";
}

} // namespace

int runReport(const QStringList& args)
{
    if (args.isEmpty())
        return reportError(u"which report? daily, weekly, monthly, session or blocks"_s);
    if (args.first() == u"-h" || args.first() == u"--help") {
        std::fputs(kReportUsage, stdout);
        return 0;
    }
    const auto kind = reportKindFromName(args.first());
    if (!kind)
        return reportError(u"unknown report '"_s + args.first() +
                           u"'; use daily, weekly, monthly, session or blocks"_s);

    ReportOptions options;
    options.kind = *kind;
    options.firstDayOfWeek = QLocale::system().firstDayOfWeek();
    bool json = false;
    bool csv = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString arg = args[i];
        std::optional<QString> inlineValue;
        if (arg.startsWith(u"--") && arg.contains(u'=')) {
            inlineValue = arg.section(u'=', 1);
            arg = arg.section(u'=', 0, 0);
        }
        const auto value = [&]() -> std::optional<QString> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 == args.size())
                return std::nullopt;
            return args[++i];
        };
        const bool flag = !inlineValue;
        if ((arg == u"-h" || arg == u"--help") && flag) {
            std::fputs(kindHelp(*kind), stdout);
            std::fputs(kCommonOptions, stdout);
            return 0;
        } else if (arg == u"--json" && flag) {
            json = true;
        } else if (arg == u"--csv" && flag) {
            csv = true;
        } else if (arg == u"--breakdown" && flag) {
            options.breakdown = true;
        } else if (arg == u"--since" || arg == u"--until") {
            const auto text = value();
            const auto day = text ? parseDay(*text) : std::nullopt;
            if (!day)
                return reportError(arg + u" needs a date as YYYY-MM-DD"_s +
                                   (text ? u", not '"_s + *text + u'\'' : QString()));
            (arg == u"--since" ? options.since : options.until) = day;
        } else if (arg == u"--project") {
            const auto name = value();
            if (!name || name->isEmpty())
                return reportError(u"--project needs a project name"_s);
            options.projects << *name;
        } else if (arg == u"--provider") {
            const QString name = value().value_or(QString()).toLower();
            if (name == u"claude")
                options.provider = AIProvider::Claude;
            else if (name == u"chatgpt" || name == u"codex")
                options.provider = AIProvider::ChatGPT;
            else
                return reportError(u"--provider must be claude or chatgpt"_s);
        } else if (arg == u"--timezone") {
            const auto name = value();
            const QTimeZone zone(name.value_or(QString()).toUtf8());
            if (!name || name->isEmpty() || !zone.isValid())
                return reportError(u"unknown time zone '"_s + name.value_or(QString()) + u'\'');
            options.zone = zone;
        } else if (arg == u"--start-of-week" && options.kind == ReportKind::Weekly) {
            const QString day = value().value_or(QString()).toLower();
            if (day != u"monday" && day != u"sunday")
                return reportError(u"--start-of-week must be monday or sunday"_s);
            options.firstDayOfWeek = day == u"monday" ? Qt::Monday : Qt::Sunday;
        } else {
            return reportError(u"unknown option '"_s + args[i] + u"' for report "_s + reportKindName(*kind));
        }
    }
    if (json && csv)
        return reportError(u"--json and --csv exclude each other"_s);
    if (options.since && options.until && *options.since > *options.until)
        return reportError(u"--since is after --until"_s);

    const auto started = std::chrono::steady_clock::now();
    std::optional<EpochMs> modifiedSince;
    if (options.since)
        modifiedSince = options.since->startOfDay(options.zone).toMSecsSinceEpoch();
    const PriceTable& prices = PriceTable::shared();
    ReportScanSummary scan;
    Report report;
    if (options.kind == ReportKind::Session || options.kind == ReportKind::Blocks) {
        const ReportEvents events = scanForReport(LocalUsageScanner::defaultSources(), modifiedSince);
        report = buildReport(events, options, QDateTime::currentDateTime(),
                             options.kind == ReportKind::Blocks ? snapshotMetrics() : QList<ProviderMetric>{}, prices);
        scan = {events.files, events.events.size(), events.bytesRead};
    } else {
        // Periods only sum: nothing of a request need be kept.
        PeriodReportSink sink(options, prices);
        scan = scanIntoSink(LocalUsageScanner::defaultSources(), modifiedSince, sink);
        report = sink.report();
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    log(u"Report: %1 requests from %2 transcripts (%3 MB read) in %4 ms"_s.arg(scan.requests)
            .arg(scan.files)
            .arg(double(scan.bytesRead) / 1048576.0, 0, 'f', 1)
            .arg(elapsed));

    const ReportPrinting how{options.kind, options.breakdown, !json && !csv && colourWanted(), &prices, scan.files};
    const QByteArray text = json ? reportJson(report, how) : csv ? reportCsv(report, how) : reportText(report, how);
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    // Nothing to count at all is worth an exit code; a quiet range is not.
    if (scan.files > 0)
        return 0;
    if (!json && !csv) {
        QTextStream out(stdout);
        printSourceFolders(out);
    }
    return 1;
}

} // namespace tallyvue::cli
