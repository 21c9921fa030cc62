// SPDX-License-Identifier: MIT
// The three forms of a report: an 80-column table, JSON with the members `local --json` uses,
// and CSV for a spreadsheet.
#include "cli/ReportOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

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

bool unpricedOnly(const LocalUsageCost& cost)
{
    return cost.pricedRequests == 0 && cost.unpricedRequests > 0;
}

QString keyName(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Daily: return u"date"_s;
    case ReportKind::Weekly: return u"week"_s;
    case ReportKind::Monthly: return u"month"_s;
    case ReportKind::Session: return u"session"_s;
    case ReportKind::Blocks: return u"blockStart"_s;
    }
    return {};
}

/// Rows that machine-readable forms print: with a breakdown, the model rows alone, so that
/// their sums are the total.
bool printedRow(const ReportRow& row, bool breakdown)
{
    return breakdown == !row.model.isEmpty();
}

QString isoTime(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QString burnText(const ReportRow& row)
{
    const auto rate = row.burnRate();
    return rate ? compactCount(std::int64_t(std::llround(*rate))) : u"-"_s;
}

/// A name cut to `width` characters with an ellipsis.
QString fitted(const QString& text, int width)
{
    return text.size() <= width ? text : text.left(width - 1) + u'…';
}

/// Columns of a table: a left part of fixed width, then right-aligned figures.
class Table
{
public:
    Table(int leftWidth, QList<std::pair<QString, int>> columns, bool colour)
        : m_left(leftWidth), m_columns(std::move(columns)), m_colour(colour)
    {
    }

    void line(const QString& left, const QStringList& figures, bool strong = false)
    {
        QString text = left.leftJustified(m_left, u' ', true);
        for (qsizetype i = 0; i < m_columns.size(); ++i)
            text += figures.value(i).rightJustified(m_columns[i].second);
        while (text.endsWith(u' '))
            text.chop(1);
        if (strong && m_colour)
            m_out += "\x1b[1m" + text.toUtf8() + "\x1b[0m\n";
        else
            m_out += text.toUtf8() + '\n';
    }
    void header(const QString& left)
    {
        QStringList names;
        for (const auto& [name, width] : m_columns)
            names << name;
        line(left, names, true);
    }
    QByteArray& out() { return m_out; }

private:
    int m_left;
    QList<std::pair<QString, int>> m_columns;
    bool m_colour;
    QByteArray m_out;
};

/// `text` broken at spaces into lines of at most 80 columns.
QByteArray wrapped(const QString& text)
{
    QByteArray out;
    QString line;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > 80) {
            out += line.toUtf8() + '\n';
            line.clear();
        }
        line += (line.isEmpty() ? QString() : u" "_s) + word;
    }
    return out + line.toUtf8() + '\n';
}

QString costCell(const LocalUsageCost& cost)
{
    return unpricedOnly(cost) ? u"-"_s : costText(cost.usd);
}

} // namespace

QString compactCount(std::int64_t count)
{
    if (count < 100'000)
        return QString::number(count);
    static constexpr std::pair<double, char> kUnits[] = {{1e12, 'T'}, {1e9, 'B'}, {1e6, 'M'}, {1e3, 'K'}};
    for (const auto& [unit, suffix] : kUnits) {
        const double scaled = double(count) / unit;
        if (scaled < 1)
            continue;
        const int decimals = scaled < 9.995 ? 2 : scaled < 99.95 ? 1 : 0;
        return QString::number(scaled, 'f', decimals) + QLatin1Char(suffix);
    }
    return QString::number(count);
}

QByteArray reportText(const Report& report, const ReportPrinting& how)
{
    const bool periods = how.kind != ReportKind::Session && how.kind != ReportKind::Blocks;
    QList<std::pair<QString, int>> columns;
    int left = 0;
    QString leftTitle;
    if (periods) {
        left = 12;
        leftTitle = how.kind == ReportKind::Daily    ? u"Date"_s
                    : how.kind == ReportKind::Weekly ? u"Week of"_s
                                                     : u"Month"_s;
        columns = {{u"Input"_s, 7}, {u"Output"_s, 8}, {u"Write 5m"_s, 9}, {u"Write 1h"_s, 9},
                   {u"Read"_s, 7},  {u"Total"_s, 7},  {u"Reqs"_s, 7},     {u"Cost"_s, 12}};
    } else if (how.kind == ReportKind::Session) {
        left = 24;
        leftTitle = u"Last active Project"_s;
        columns = {{u"Input"_s, 7}, {u"Output"_s, 7}, {u"Write"_s, 7}, {u"Read"_s, 7},
                   {u"Total"_s, 7}, {u"Reqs"_s, 6},   {u"Cost"_s, 12}};
    } else {
        left = 31;
        leftTitle = u"Block            End   Provider"_s;
        columns = {{u"Output"_s, 7}, {u"Total"_s, 7},   {u"Reqs"_s, 6},
                   {u"Cost"_s, 12},  {u"Tok/min"_s, 8}, {u"Quota"_s, 7}};
    }
    Table table(left, columns, how.colour);
    if (report.rows.empty()) {
        table.out() = "No Claude Code or Codex usage in this range (" +
                      QByteArray::number(qulonglong(how.transcripts)) +
                      (how.transcripts == 1 ? " transcript" : " transcripts") + " found).\n";
        return table.out();
    }
    table.header(leftTitle);
    const auto figures = [&](const ReportRow& row) {
        const LocalUsageTotals& t = row.totals;
        if (periods) {
            return QStringList{compactCount(t.inputTokens),
                               compactCount(t.outputTokens),
                               compactCount(row.cacheWrite5mTokens()),
                               compactCount(row.cacheWrite1hTokens),
                               compactCount(t.cacheReadTokens),
                               compactCount(t.tokens()),
                               compactCount(t.requests),
                               costCell(row.cost)};
        }
        if (how.kind == ReportKind::Session) {
            return QStringList{compactCount(t.inputTokens),
                               compactCount(t.outputTokens),
                               compactCount(t.cacheCreationTokens),
                               compactCount(t.cacheReadTokens),
                               compactCount(t.tokens()),
                               compactCount(t.requests),
                               costCell(row.cost)};
        }
        QString quota;
        if (row.officialPercent)
            quota = QString::number(int(std::clamp(*row.officialPercent, 0.0, 100.0))) + u'%';
        else if (row.open)
            quota = u"open"_s;
        return QStringList{compactCount(t.outputTokens),
                           compactCount(t.tokens()),
                           compactCount(t.requests),
                           costCell(row.cost),
                           burnText(row),
                           quota};
    };
    for (const ReportRow& row : report.rows) {
        QString label;
        if (!row.model.isEmpty()) {
            label = u"  "_s + fitted(displayModelName(row.model.text()), left - 2);
        } else if (periods) {
            label = row.key;
        } else if (how.kind == ReportKind::Session) {
            label = row.end.toString(u"yyyy-MM-dd"_s) + u"  "_s + fitted(row.project, left - 13);
        } else {
            label = row.start.toString(u"yyyy-MM-dd HH:mm"_s) + u' ' + row.end.toString(u"HH:mm"_s) + u' ' +
                    rawValue(*row.provider);
        }
        table.line(label, figures(row));
    }
    table.line(u"Total"_s,
               periods || how.kind == ReportKind::Session
                   ? figures(report.total)
                   : QStringList{compactCount(report.total.totals.outputTokens),
                                 compactCount(report.total.totals.tokens()),
                                 compactCount(report.total.totals.requests), costCell(report.total.cost)},
               true);

    QByteArray& out = table.out();
    if (how.kind == ReportKind::Blocks)
        out += '\n' + wrapped(u"Blocks last 5 hours from their first request's hour. An open block takes its bounds "
                              u"from the provider's own 5-hour window when the last snapshot has one; Quota is its "
                              u"used percent."_s);
    const PriceTable& prices = *how.prices;
    out += '\n' + wrapped(u"Cost at API list prices (%1 %2, %3)."_s.arg(prices.source(), prices.version(),
                                                                        prices.date().toString(Qt::ISODate)));
    const std::int64_t unpriced = report.total.cost.unpricedRequests;
    if (unpriced > 0)
        out += wrapped(u"Not priced: %1 %2 of models without a list price (%3)."_s.arg(unpriced).arg(
            unpriced == 1 ? u"request"_s : u"requests"_s, report.unpricedModels.join(u", "_s)));
    return out;
}

namespace {

QByteArray jsonCounts(const ReportRow& row)
{
    const LocalUsageTotals& t = row.totals;
    return "\"requests\": " + QByteArray::number(t.requests) +
           ", \"inputTokens\": " + QByteArray::number(t.inputTokens) +
           ", \"outputTokens\": " + QByteArray::number(t.outputTokens) +
           ", \"cacheCreationTokens\": " + QByteArray::number(t.cacheCreationTokens) +
           ", \"cacheCreation1hTokens\": " + QByteArray::number(row.cacheWrite1hTokens) +
           ", \"cacheReadTokens\": " + QByteArray::number(t.cacheReadTokens) +
           ", \"totalTokens\": " + QByteArray::number(t.tokens()) +
           ", \"costUSD\": " + (unpricedOnly(row.cost) ? QByteArray("null") : jsonNumber(row.cost.usd));
}

} // namespace

QByteArray reportJson(const Report& report, const ReportPrinting& how)
{
    QByteArray out = "{\"report\": " + jsonString(reportKindName(how.kind)) + ", \"rows\": [";
    bool first = true;
    for (const ReportRow& row : report.rows) {
        if (!printedRow(row, how.breakdown))
            continue;
        out += first ? "\n  {" : ",\n  {";
        first = false;
        out += jsonString(keyName(how.kind)) + ": " + jsonString(row.key);
        if (row.provider)
            out += ", \"provider\": " + jsonString(rawValue(*row.provider));
        if (!row.model.isEmpty())
            out += ", \"model\": " + jsonString(row.model.text());
        if (how.kind == ReportKind::Session) {
            QByteArray models;
            for (const QString& model : row.models)
                models += (models.isEmpty() ? "" : ", ") + jsonString(model);
            out += ", \"project\": " + jsonString(row.project) +
                   ", \"firstActivity\": " + jsonString(isoTime(row.start)) +
                   ", \"lastActivity\": " + jsonString(isoTime(row.end)) + ", \"models\": [" + models + "]";
        } else if (how.kind == ReportKind::Blocks) {
            const auto rate = row.burnRate();
            out += ", \"blockEnd\": " + jsonString(isoTime(row.end)) + ", \"open\": " + (row.open ? "true" : "false") +
                   ", \"officialPercent\": " + (row.officialPercent ? jsonNumber(*row.officialPercent) : "null") +
                   ", \"burnRate\": " + (rate ? jsonNumber(std::round(*rate * 100) / 100) : "null");
        }
        out += ", " + jsonCounts(row) + "}";
    }
    out += first ? "]" : "\n]";
    const PriceTable& prices = *how.prices;
    out += ", \"total\": {" + jsonCounts(report.total) +
           "}, \"unpricedRequests\": " + QByteArray::number(report.total.cost.unpricedRequests) +
           ", \"prices\": {\"source\": " + jsonString(prices.source()) +
           ", \"version\": " + jsonString(prices.version()) +
           ", \"date\": " + jsonString(prices.date().toString(Qt::ISODate)) + "}}\n";
    return out;
}

namespace {

QByteArray csvField(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    return '"' + bytes.replace("\"", "\"\"") + '"';
}

} // namespace

QByteArray reportCsv(const Report& report, const ReportPrinting& how)
{
    QByteArray out = keyName(how.kind).toUtf8();
    const bool provider = how.breakdown || how.kind == ReportKind::Session || how.kind == ReportKind::Blocks;
    if (provider)
        out += ",provider";
    if (how.breakdown)
        out += ",model";
    if (how.kind == ReportKind::Session)
        out += ",project,firstActivity,lastActivity,models";
    if (how.kind == ReportKind::Blocks)
        out += ",blockEnd,open,officialPercent,burnRate";
    out += ",requests,inputTokens,outputTokens,cacheCreationTokens,cacheCreation1hTokens,cacheReadTokens,totalTokens,"
           "costUSD\n";
    for (const ReportRow& row : report.rows) {
        if (!printedRow(row, how.breakdown))
            continue;
        out += csvField(row.key);
        if (provider)
            out += ',' + (row.provider ? rawValue(*row.provider).toUtf8() : QByteArray());
        if (how.breakdown)
            out += ',' + csvField(row.model.text());
        if (how.kind == ReportKind::Session)
            out += ',' + csvField(row.project) + ',' + isoTime(row.start).toUtf8() + ',' + isoTime(row.end).toUtf8() +
                   ',' + csvField(row.models.join(u' '));
        if (how.kind == ReportKind::Blocks) {
            const auto rate = row.burnRate();
            out += ',' + isoTime(row.end).toUtf8() + (row.open ? ",true," : ",false,") +
                   (row.officialPercent ? jsonNumber(*row.officialPercent) : QByteArray()) + ',' +
                   (rate ? jsonNumber(std::round(*rate * 100) / 100) : QByteArray());
        }
        const LocalUsageTotals& t = row.totals;
        out += ',' + QByteArray::number(t.requests) + ',' + QByteArray::number(t.inputTokens) + ',' +
               QByteArray::number(t.outputTokens) + ',' + QByteArray::number(t.cacheCreationTokens) + ',' +
               QByteArray::number(row.cacheWrite1hTokens) + ',' + QByteArray::number(t.cacheReadTokens) + ',' +
               QByteArray::number(t.tokens()) + ',' +
               (unpricedOnly(row.cost) ? QByteArray() : jsonNumber(row.cost.usd)) + '\n';
    }
    return out;
}

} // namespace tallyvue::cli
