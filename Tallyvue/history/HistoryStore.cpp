// SPDX-License-Identifier: MIT
#include "history/HistoryStore.h"

#include "model/Timestamp.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <simdjson.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace detail {

void appendJsonString(QByteArray& out, QStringView text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out.reserve(out.size() + utf8.size() + 2);
    out.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (byte < 0x20) {
            switch (c) {
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            case '\t': out.append("\\t"); break;
            default: out.append("\\u00").append(kHex[byte >> 4]).append(kHex[byte & 0xF]);
            }
        } else {
            out.append(c);
        }
    }
    out.append('"');
}

std::optional<QByteArray> shortestDouble(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace detail

namespace HistoryStore {
namespace {

using detail::appendJsonString;

std::optional<QString> optionalString(simdjson::dom::element element, bool& ok)
{
    if (element.is_null())
        return std::nullopt;
    std::string_view text;
    if (element.get_string().get(text)) {
        ok = false;
        return std::nullopt;
    }
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::optional<QDateTime> stampFrom(std::string_view text)
{
    return parseWholeSecondTimestamp(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

std::optional<UsageSnapshot::LimitPoint> decodePoint(simdjson::dom::object object)
{
    UsageSnapshot::LimitPoint point;
    simdjson::dom::element value;
    if (!object["provider"].get(value) && !value.is_null()) {
        std::string_view raw;
        if (value.get_string().get(raw))
            return std::nullopt;
        const auto provider = providerFromRaw(QString::fromUtf8(raw.data(), qsizetype(raw.size())));
        if (!provider)
            return std::nullopt;
        point.provider = *provider;
    }
    std::string_view kind;
    if (object["kind"].get_string().get(kind))
        return std::nullopt;
    point.kind = QString::fromUtf8(kind.data(), qsizetype(kind.size()));
    if (object["percent"].get_double().get(point.percent)) {
        // Integers that do not fit a double's exact range still read as numbers.
        int64_t whole = 0;
        uint64_t unsignedWhole = 0;
        if (!object["percent"].get_int64().get(whole))
            point.percent = double(whole);
        else if (!object["percent"].get_uint64().get(unsignedWhole))
            point.percent = double(unsignedWhole);
        else
            return std::nullopt;
    }
    bool ok = true;
    if (!object["displayName"].get(value))
        point.displayName = optionalString(value, ok);
    if (!object["resetsAt"].get(value)) {
        if (const auto text = optionalString(value, ok)) {
            point.resetsAt = parseWholeSecondTimestamp(*text);
            ok = ok && point.resetsAt;
        }
    }
    if (!ok)
        return std::nullopt;
    return point;
}

simdjson::dom::parser& parser()
{
    static thread_local simdjson::dom::parser instance;
    return instance;
}

QByteArray readAll()
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QList<UsageSnapshot> decodeAll(const QByteArray& text)
{
    QList<UsageSnapshot> snapshots;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        if (end > start) {
            if (auto snapshot = decodeLine(QByteArrayView(text).sliced(start, end - start)))
                snapshots.append(std::move(*snapshot));
        }
        start = end + 1;
    }
    return snapshots;
}

} // namespace

QString filePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Tallyvue"_s;
    QDir().mkpath(folder); // a failure shows up in the read or write that follows
    return folder + u"/usageHistory.jsonl"_s;
}

std::optional<UsageSnapshot> decodeLine(QByteArrayView line)
{
    simdjson::dom::element root;
    if (parser().parse(line.data(), std::size_t(line.size())).get(root))
        return std::nullopt;
    simdjson::dom::object object;
    std::string_view stamp;
    simdjson::dom::array limits;
    if (root.get_object().get(object) || object["timestamp"].get_string().get(stamp) ||
        object["limits"].get_array().get(limits))
        return std::nullopt;

    UsageSnapshot snapshot;
    const auto timestamp = stampFrom(stamp);
    if (!timestamp)
        return std::nullopt;
    snapshot.timestamp = *timestamp;
    for (simdjson::dom::element element : limits) {
        simdjson::dom::object pointObject;
        if (element.get_object().get(pointObject))
            return std::nullopt;
        auto point = decodePoint(pointObject);
        if (!point)
            return std::nullopt;
        snapshot.limits.append(std::move(*point));
    }
    return snapshot;
}

std::optional<QByteArray> encodeLine(const UsageSnapshot& snapshot)
{
    QByteArray out;
    out.reserve(64 + snapshot.limits.size() * 110);
    out.append(R"({"timestamp":")").append(formatWholeSecondTimestamp(snapshot.timestamp).toLatin1());
    out.append(R"(","limits":[)");
    bool first = true;
    for (const auto& point : snapshot.limits) {
        const auto percent = detail::shortestDouble(point.percent);
        if (!percent)
            return std::nullopt;
        out.append(first ? "" : ",").append(R"({"provider":)");
        first = false;
        appendJsonString(out, rawValue(point.provider));
        out.append(R"(,"kind":)");
        appendJsonString(out, point.kind);
        out.append(R"(,"percent":)").append(*percent);
        if (point.displayName) {
            out.append(R"(,"displayName":)");
            appendJsonString(out, *point.displayName);
        }
        if (point.resetsAt)
            out.append(R"(,"resetsAt":")").append(formatWholeSecondTimestamp(*point.resetsAt).toLatin1()).append('"');
        out.append('}');
    }
    out.append("]}");
    return out;
}

QList<UsageSnapshot> load()
{
    return decodeAll(readAll());
}

void record(const QList<ProviderMetric>& metrics, const QDateTime& now)
{
    if (metrics.isEmpty())
        return;
    UsageSnapshot latest{now, {}};
    latest.limits.reserve(metrics.size());
    for (const ProviderMetric& metric : metrics)
        latest.limits.append({metric.provider, metric.kind, metric.percent, metric.title, metric.resetsAt});

    QList<UsageSnapshot> history = load();
    history.append(std::move(latest));
    const QDateTime cutoff = now.addSecs(-kRetentionSeconds);

    QByteArray text;
    text.reserve(history.size() * 600);
    for (const UsageSnapshot& snapshot : std::as_const(history)) {
        if (snapshot.timestamp < cutoff)
            continue;
        if (const auto line = encodeLine(snapshot))
            text.append(*line).append('\n');
    }

    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(text);
    file.commit(); // on failure the old file stays as it was
}

void clear()
{
    QFile::remove(filePath());
}

QString exportCSV()
{
    QByteArray csv = "timestamp,provider,kind,title,percent,resets_at\n";
    const auto quoted = [](const QString& text) -> QString {
        return u'"' + QString(text).replace(u'"', u"\"\""_s) + u'"';
    };
    for (const UsageSnapshot& snapshot : load()) {
        const QByteArray stamp = formatWholeSecondTimestamp(snapshot.timestamp).toLatin1();
        for (const auto& point : snapshot.limits) {
            // Kinds come from the services; one that needs quoting is quoted rather than
            // allowed to break the row.
            const bool kindNeedsQuotes = point.kind.contains(u',') || point.kind.contains(u'"') ||
                                         point.kind.contains(u'\n') || point.kind.contains(u'\r');
            QByteArray percent = detail::shortestDouble(point.percent).value_or(QByteArray::number(point.percent));
            if (!percent.contains('.') && !percent.contains('e') && !percent.contains('n'))
                percent.append(".0");
            csv.append(stamp).append(',').append(rawValue(point.provider).toUtf8()).append(',');
            csv.append((kindNeedsQuotes ? quoted(point.kind) : point.kind).toUtf8()).append(',');
            csv.append(quoted(point.displayName.value_or(QString())).toUtf8()).append(',');
            csv.append(percent).append(',');
            if (point.resetsAt)
                csv.append(formatWholeSecondTimestamp(*point.resetsAt).toLatin1());
            csv.append('\n');
        }
    }
    return QString::fromUtf8(csv);
}

QList<UsageSnapshot::LimitPoint> limitPoints(const UsageSnapshot& snapshot, AIProvider provider)
{
    QList<UsageSnapshot::LimitPoint> points;
    for (const auto& point : snapshot.limits) {
        if (point.provider == provider)
            points.append(point);
    }
    return points;
}

std::optional<UsageSnapshot::LimitPoint> point(const UsageSnapshot& snapshot, QStringView seriesKey)
{
    for (const auto& candidate : snapshot.limits) {
        if (candidate.seriesKey() == seriesKey)
            return candidate;
    }
    return std::nullopt;
}

} // namespace HistoryStore
} // namespace tallyvue
