// SPDX-License-Identifier: MIT
// tallyvue-cli local: one scan of this computer's transcripts, printed per day and model with
// their cost at API list prices.
#include "cli/Commands.h"
#include "local/LocalUsageAggregation.h"
#include "local/LocalUsageScanner.h"
#include "model/Formatting.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QTextStream>

#include <qcoro/qcorotask.h>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

constexpr int kMaxDays = 8;

std::optional<int> parseDays(const QString& text)
{
    bool ok = false;
    const int days = text.toInt(&ok);
    if (!ok || days < 1 || days > kMaxDays)
        return std::nullopt;
    return days;
}

/// A JSON string literal, escaped as the JSON writer does it.
QByteArray jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

/// Shortest exact form, never an exponent.
QByteArray jsonNumber(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest).toLatin1();
}

/// Null for a row whose model has no list price.
QByteArray jsonCost(const LocalUsageCost& cost)
{
    return cost.pricedRequests == 0 && cost.unpricedRequests > 0 ? QByteArray("null") : jsonNumber(cost.usd);
}

/// Members in a fixed order (QJsonObject would sort them), one day row a line.
QByteArray toJson(const std::vector<LocalUsageDayRow>& rows, const LocalUsageScanSummary& summary,
                  const PriceTable& prices)
{
    // The requests of the printed days, not of the whole window the scan returned.
    LocalUsageTotals total;
    LocalUsageCost cost;
    for (const LocalUsageDayRow& row : rows) {
        total.add(row.totals);
        cost.add(row.cost);
    }
    QByteArray out = "{\"files\": " + QByteArray::number(qulonglong(summary.files)) +
                     ", \"events\": " + QByteArray::number(total.requests) + ", \"daily\": [";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const LocalUsageDayRow& row = rows[i];
        out += i == 0 ? "\n  " : ",\n  ";
        out += "{\"date\": " + jsonString(row.date.toString(Qt::ISODate)) +
               ", \"provider\": " + jsonString(rawValue(row.provider)) +
               ", \"model\": " + jsonString(row.model.text()) +
               ", \"requests\": " + QByteArray::number(row.totals.requests) +
               ", \"inputTokens\": " + QByteArray::number(row.totals.inputTokens) +
               ", \"outputTokens\": " + QByteArray::number(row.totals.outputTokens) +
               ", \"cacheCreationTokens\": " + QByteArray::number(row.totals.cacheCreationTokens) +
               ", \"cacheReadTokens\": " + QByteArray::number(row.totals.cacheReadTokens) +
               ", \"costUSD\": " + jsonCost(row.cost) + "}";
    }
    out += rows.empty() ? "]" : "\n]";
    out += ", \"costUSD\": " + jsonNumber(cost.usd) +
           ", \"unpricedRequests\": " + QByteArray::number(cost.unpricedRequests) +
           ", \"prices\": {\"source\": " + jsonString(prices.source()) +
           ", \"version\": " + jsonString(prices.version()) +
           ", \"date\": " + jsonString(prices.date().toString(Qt::ISODate)) + "}}\n";
    return out;
}

void printTable(const std::vector<LocalUsageDayRow>& rows, int days, const LocalUsageScanSummary& summary,
                const PriceTable& prices)
{
    QTextStream out(stdout);
    if (rows.empty()) {
        out << "No Claude Code or Codex usage in the last " << days << (days == 1 ? " day" : " days") << " ("
            << summary.files << " transcripts scanned).\n";
        printSourceFolders(out);
        return;
    }
    qsizetype modelWidth = 5;
    for (const LocalUsageDayRow& row : rows)
        modelWidth = std::max(modelWidth, row.model.text().size());
    const auto numbers = [&out](const LocalUsageTotals& t, const LocalUsageCost& cost) {
        const bool unpriced = cost.pricedRequests == 0 && cost.unpricedRequests > 0;
        out << qSetFieldWidth(10) << t.requests << qSetFieldWidth(14) << t.inputTokens << t.outputTokens
            << t.cacheCreationTokens << t.cacheReadTokens << qSetFieldWidth(12)
            << (unpriced ? u"-"_s : costText(cost.usd)) << qSetFieldWidth(0) << '\n';
    };
    out << Qt::left << qSetFieldWidth(12) << u"Date"_s << qSetFieldWidth(10) << u"Provider"_s
        << qSetFieldWidth(int(modelWidth) + 2) << u"Model"_s << Qt::right << qSetFieldWidth(10) << u"Requests"_s
        << qSetFieldWidth(14) << u"Input"_s << u"Output"_s << u"Cache write"_s << u"Cache read"_s << qSetFieldWidth(12)
        << u"Cost"_s << qSetFieldWidth(0) << '\n';
    LocalUsageTotals total;
    LocalUsageCost cost;
    QStringList unpricedModels;
    for (const LocalUsageDayRow& row : rows) {
        out << Qt::left << qSetFieldWidth(12) << row.date.toString(Qt::ISODate) << qSetFieldWidth(10)
            << rawValue(row.provider) << qSetFieldWidth(int(modelWidth) + 2) << printableText(row.model.text())
            << Qt::right;
        numbers(row.totals, row.cost);
        total.add(row.totals);
        cost.add(row.cost);
        if (row.cost.unpricedRequests > 0 && !unpricedModels.contains(row.model.text()))
            unpricedModels << row.model.text();
    }
    out << Qt::left << qSetFieldWidth(22 + int(modelWidth) + 2) << u"Total"_s << Qt::right;
    numbers(total, cost);
    out << "\nCost at API list prices (" << prices.source() << ' ' << prices.version() << ", "
        << prices.date().toString(Qt::ISODate) << ").\n";
    if (cost.unpricedRequests > 0)
        out << "Not priced: " << cost.unpricedRequests << (cost.unpricedRequests == 1 ? " request" : " requests")
            << " of models without a list price (" << printableText(unpricedModels.join(u", "_s)) << ").\n";
}

} // namespace

void printSourceFolders(QTextStream& out)
{
    out << "Looked in:\n";
    for (const LocalUsageSource& source : LocalUsageScanner::defaultSources())
        out << "  " << source.root << (QDir(source.root).exists() ? "" : " (does not exist)") << '\n';
}

int runLocal(const QStringList& args)
{
    bool json = false;
    int days = kMaxDays;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--json") {
            json = true;
        } else if (arg == u"--days" || arg.startsWith(u"--days=")) {
            QString value;
            if (arg == u"--days") {
                if (i + 1 == args.size())
                    return usageError(u"--days needs a number from 1 to 8"_s);
                value = args[++i];
            } else {
                value = arg.mid(7);
            }
            const auto parsed = parseDays(value);
            if (!parsed)
                return usageError(u"--days must be a number from 1 to 8, not '"_s + value + u'\'');
            days = *parsed;
        } else {
            return usageError(u"unknown option '"_s + arg + u"' for local"_s);
        }
    }

    const QDateTime now = QDateTime::currentDateTime();
    LocalUsageScanner& scanner = LocalUsageScanner::shared();
    const std::vector<LocalUsageEvent> events = QCoro::waitFor(scanner.scan(now));
    const LocalUsageScanSummary summary = scanner.lastSummary();
    const PriceTable& prices = PriceTable::shared();
    const std::vector<LocalUsageDayRow> rows = dailyModelRows(events, days, now, prices);

    if (json) {
        const QByteArray text = toJson(rows, summary, prices);
        std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    } else {
        printTable(rows, days, summary, prices);
    }
    // Nothing to count at all is worth an exit code; a quiet week is not.
    return summary.files == 0 ? 1 : 0;
}

} // namespace tallyvue::cli
