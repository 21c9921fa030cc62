// SPDX-License-Identifier: MIT
#include "history/HistoryStore.h"

#include "history/FileLock.h"
#include "model/Formatting.h"
#include "model/SafeFile.h"
#include "model/Timestamp.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <simdjson.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace detail {

void appendJsonString(std::string& out, std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const auto plain = [](char c) { return c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20; };
    out.push_back('"');
    if (std::all_of(utf8.begin(), utf8.end(), plain)) {
        out.append(utf8);
        out.push_back('"');
        return;
    }
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20) {
            switch (c) {
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            case '\t': out.append("\\t"); break;
            default:
                out.append("\\u00");
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 0xF]);
            }
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

void appendJsonString(QByteArray& out, QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    std::string escaped;
    appendJsonString(escaped, std::string_view(utf8.constData(), std::size_t(utf8.size())));
    out.append(escaped.data(), qsizetype(escaped.size()));
}

std::optional<QByteArray> shortestDouble(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return QByteArray(text, end - text);
}

QByteArray decimalText(double value)
{
    // Plain decimals between 1e-4 and 2^53, exponents outside, always with a fraction digit.
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    char text[400];
    const auto end = plain ? std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr
                           : std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
    QByteArray result(text, end - text);
    if (plain && !result.contains('.'))
        result.append(".0");
    return result;
}

void appendShortestDouble(std::string& out, double value)
{
    char text[32];
    // A whole number of 2^63 or more in plain digits reads back as an integer too large for a
    // JSON reader (simdjson refuses it), so the line would be lost: such values take an exponent.
    const auto end = std::fabs(value) >= 0x1p63
                         ? std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr
                         : std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, std::size_t(end - text));
}

} // namespace detail

namespace HistoryStore {
namespace {

using detail::appendJsonString;

/// The providers' raw values, in the order of kAllProviders.
constexpr std::string_view kProviderNames[] = {"Claude", "ChatGPT", "Copilot"};

/// One limit point as read from a line, still pointing into the parser's buffer.
struct RawPoint
{
    AIProvider provider = AIProvider::Claude;
    std::string_view kind;
    double percent = 0;
    std::optional<std::string_view> displayName;
    std::optional<EpochMs> resetsAt;
    std::string_view resetsAtText; ///< as read, when already in the stored form
};

/// The stored date form is exactly 20 characters; such a text that parsed is written back as it is.
bool inStoredForm(std::string_view text)
{
    return text.size() == 20;
}

void appendStamp(std::string& out, EpochMs ms, std::string_view text)
{
    if (inStoredForm(text))
        out.append(text);
    else
        appendWholeSecondTimestamp(out, ms);
}

/// Reads an optional string: null is nothing, another type is an error.
bool optionalString(simdjson::dom::element value, std::optional<std::string_view>& into)
{
    if (value.is_null())
        return true;
    std::string_view text;
    if (value.get_string().get(text))
        return false;
    into = text;
    return true;
}

/// `unknownProvider` is set for a point of a provider this version does not know (a newer
/// version's): such a point is left out on load and kept byte for byte on rewrite.
std::optional<RawPoint> readPoint(simdjson::dom::element element, bool* unknownProvider = nullptr)
{
    simdjson::dom::object object;
    if (element.get_object().get(object))
        return std::nullopt;

    // One pass over the members; a repeated key counts with its first value.
    enum { Provider, Kind, Percent, DisplayName, ResetsAt, Count };
    static constexpr std::string_view kKeys[Count] = {"provider", "kind", "percent", "displayName", "resetsAt"};
    simdjson::dom::element members[Count];
    bool present[Count] = {};
    for (const simdjson::dom::key_value_pair field : object) {
        for (int i = 0; i < Count; ++i) {
            if (!present[i] && field.key == kKeys[i]) {
                members[i] = field.value;
                present[i] = true;
                break;
            }
        }
    }

    RawPoint point;
    std::optional<std::string_view> provider;
    if (present[Provider] && !optionalString(members[Provider], provider))
        return std::nullopt;
    if (provider) {
        const auto known = std::find(std::begin(kProviderNames), std::end(kProviderNames), *provider);
        if (known == std::end(kProviderNames)) {
            if (unknownProvider)
                *unknownProvider = true;
            return std::nullopt;
        }
        point.provider = kAllProviders[std::size_t(known - std::begin(kProviderNames))];
    }
    if (!present[Kind] || !present[Percent] || members[Kind].get_string().get(point.kind) ||
        members[Percent].get_double().get(point.percent))
        return std::nullopt;
    std::optional<std::string_view> resetsAt;
    if ((present[DisplayName] && !optionalString(members[DisplayName], point.displayName)) ||
        (present[ResetsAt] && !optionalString(members[ResetsAt], resetsAt)))
        return std::nullopt;
    if (resetsAt) {
        point.resetsAt = parseWholeSecondTimestampMs(*resetsAt);
        if (!point.resetsAt)
            return std::nullopt;
        point.resetsAtText = *resetsAt;
    }
    return point;
}

simdjson::dom::parser& parser()
{
    static thread_local simdjson::dom::parser instance;
    return instance;
}

/// Reads one line by the store's rules and hands the accepted values to `sink`:
/// sink.begin(timestamp), then sink.point(RawPoint) for each limit point; points of a provider
/// this version does not know are passed over. Returns false, having told the sink nothing
/// useful, when the line is not a valid snapshot or holds only such points.
/// `padded`: at least simdjson::SIMDJSON_PADDING readable bytes follow the line, so it is parsed in place.
template<typename Sink>
bool readLine(QByteArrayView line, Sink& sink, bool padded = false)
{
    simdjson::dom::element root;
    simdjson::dom::object object;
    std::string_view stamp;
    simdjson::dom::array limits;
    if (parser().parse(line.data(), std::size_t(line.size()), !padded).get(root) || root.get_object().get(object) ||
        object["timestamp"].get_string().get(stamp) || object["limits"].get_array().get(limits))
        return false;
    const auto timestamp = parseWholeSecondTimestampMs(stamp);
    if (!timestamp)
        return false;
    sink.begin(*timestamp, stamp);
    bool known = false;
    bool skipped = false;
    for (simdjson::dom::element element : limits) {
        bool unknownProvider = false;
        const auto point = readPoint(element, &unknownProvider);
        if (!point && !unknownProvider)
            return false;
        if (!point) {
            skipped = true; // another version's provider: its points are left out, the line's others kept
            continue;
        }
        known = true;
        sink.point(*point);
    }
    return known || !skipped;
}

/// The time of a line that may not be readable otherwise; nothing when it has none this version reads.
std::optional<EpochMs> lineTimestamp(QByteArrayView line)
{
    simdjson::dom::element root;
    std::string_view stamp;
    if (parser().parse(line.data(), std::size_t(line.size()), false).get(root) ||
        root["timestamp"].get_string().get(stamp))
        return std::nullopt;
    return parseWholeSecondTimestampMs(stamp);
}

/// Builds the snapshot, sharing the text of repeated kinds and titles between snapshots.
class SnapshotBuilder
{
public:
    void begin(EpochMs timestamp, std::string_view) { m_snapshot = {dateFromEpochMs(timestamp), {}}; }
    void point(const RawPoint& raw)
    {
        m_snapshot.limits.append({raw.provider, text(raw.kind), raw.percent,
                                  raw.displayName ? std::optional(text(*raw.displayName)) : std::nullopt,
                                  raw.resetsAt ? std::optional(dateFromEpochMs(*raw.resetsAt)) : std::nullopt});
    }
    UsageSnapshot take() { return std::move(m_snapshot); }

private:
    QString text(std::string_view utf8)
    {
        for (const auto& [bytes, shared] : m_recent) {
            if (bytes == utf8)
                return shared;
        }
        QString fresh = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
        if (m_recent.size() < 64)
            m_recent.emplace_back(std::string(utf8), fresh);
        return fresh;
    }

    UsageSnapshot m_snapshot;
    std::vector<std::pair<std::string, QString>> m_recent;
};

/// Writes a line in the store's own form (encodeLine()).
class LineWriter
{
public:
    explicit LineWriter(std::string& out) : m_out(out) {}
    void begin(EpochMs timestamp, std::string_view text = {})
    {
        m_out.append(R"({"timestamp":")");
        appendStamp(m_out, timestamp, text);
        m_out.append(R"(","limits":[)");
    }
    void point(const RawPoint& raw)
    {
        if (!m_first)
            m_out.push_back(',');
        m_first = false;
        appendPoint(m_out, raw);
    }
    void finish() { m_out.append("]}\n"); }

    static void appendPoint(std::string& out, const RawPoint& raw)
    {
        out.append(R"({"provider":")").append(kProviderNames[std::size_t(raw.provider)]).append(R"(","kind":)");
        appendJsonString(out, raw.kind);
        out.append(R"(,"percent":)");
        detail::appendShortestDouble(out, raw.percent);
        if (raw.displayName) {
            out.append(R"(,"displayName":)");
            appendJsonString(out, *raw.displayName);
        }
        if (raw.resetsAt) {
            out.append(R"(,"resetsAt":")");
            appendStamp(out, *raw.resetsAt, raw.resetsAtText);
            out.push_back('"');
        }
        out.push_back('}');
    }

private:
    std::string& m_out;
    bool m_first = true;
};

/// The file's bytes followed by simdjson::SIMDJSON_PADDING blanks, so every line can be parsed in
/// place: empty when the file is missing, an error when it exists but cannot be read whole, is
/// not a regular file, or is not UTF-8 text.
Result<QByteArray, QString> readAllPadded()
{
    auto bytes = safefile::readRegularFile(filePath(), safefile::kMaxHistoryBytes);
    if (!bytes) {
        if (bytes.error().missing)
            return QByteArray(qsizetype(simdjson::SIMDJSON_PADDING), ' ');
        return bytes.error().message;
    }
    QByteArray text = std::move(bytes).value();
    if (!simdjson::validate_utf8(text.constData(), std::size_t(text.size())))
        return QString(u"cannot read "_s + filePath() + u": it is not UTF-8 text"_s);
    text.append(QByteArray(qsizetype(simdjson::SIMDJSON_PADDING), ' '));
    return text;
}

/// Calls `each` with every non-empty line of a padded text.
template<typename Each>
void forEachLine(const QByteArray& padded, Each each)
{
    const qsizetype size = std::max<qsizetype>(0, padded.size() - qsizetype(simdjson::SIMDJSON_PADDING));
    qsizetype start = 0;
    while (start < size) {
        qsizetype end = padded.indexOf('\n', start);
        if (end < 0 || end > size)
            end = size;
        if (end > start)
            each(QByteArrayView(padded).sliced(start, end - start));
        start = end + 1;
    }
}

} // namespace

QString filePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Tallyvue"_s;
    safefile::makePrivateFolder(folder); // a failure shows up in the read or write that follows
    return folder + u"/usageHistory.jsonl"_s;
}

std::optional<UsageSnapshot> decodeLine(QByteArrayView line)
{
    SnapshotBuilder builder;
    if (!readLine(line, builder))
        return std::nullopt;
    return builder.take();
}

std::optional<QByteArray> encodeLine(const UsageSnapshot& snapshot)
{
    std::string out;
    out.reserve(64 + std::size_t(snapshot.limits.size()) * 110);
    LineWriter writer(out);
    writer.begin(snapshot.timestamp.toMSecsSinceEpoch());
    for (const auto& point : snapshot.limits) {
        if (!std::isfinite(point.percent))
            return std::nullopt; // JSON has no NaN or infinity
        const QByteArray kind = point.kind.toUtf8();
        const QByteArray name = point.displayName.value_or(QString()).toUtf8();
        writer.point({point.provider,
                      std::string_view(kind.constData(), std::size_t(kind.size())),
                      point.percent,
                      point.displayName ? std::optional(std::string_view(name.constData(), std::size_t(name.size())))
                                        : std::nullopt,
                      point.resetsAt ? std::optional(point.resetsAt->toMSecsSinceEpoch()) : std::nullopt,
                      {}});
    }
    writer.finish();
    return QByteArray(out.data(), qsizetype(out.size()) - 1); // without the line feed
}

Result<QList<UsageSnapshot>, QString> read()
{
    const auto text = readAllPadded();
    if (!text)
        return text.error();
    QList<UsageSnapshot> snapshots;
    SnapshotBuilder builder;
    forEachLine(*text, [&](QByteArrayView line) {
        if (readLine(line, builder, true))
            snapshots.append(builder.take());
    });
    return snapshots;
}

QList<UsageSnapshot> load()
{
    auto snapshots = read();
    return snapshots ? std::move(snapshots).value() : QList<UsageSnapshot>();
}

std::optional<QString> record(const QList<ProviderMetric>& metrics, const QDateTime& now)
{
    if (metrics.isEmpty())
        return std::nullopt;
    UsageSnapshot latest{now, {}};
    latest.limits.reserve(metrics.size());
    // A metric without a title has no name to keep: the key is left out rather than written empty.
    for (const ProviderMetric& metric : metrics)
        latest.limits.append({metric.provider, metric.kind, metric.percent,
                              metric.title.isEmpty() ? std::nullopt : std::optional(metric.title), metric.resetsAt});

    const QString path = filePath();
    const FileLock lock(path); // from the read to the replace, or another writer's line is lost
    const auto old = readAllPadded();
    if (!old)
        return old.error(); // a history that cannot be read is never rewritten
    // Every line is kept byte for byte, also one this version cannot read (another version's
    // provider or keys): only lines whose time is readable and older than 14 days go.
    const EpochMs cutoff = now.addSecs(-kRetentionSeconds).toMSecsSinceEpoch();
    QByteArray text;
    text.reserve(old->size() + 1024);
    forEachLine(*old, [&](QByteArrayView line) {
        const auto stamp = lineTimestamp(line);
        if (!stamp || *stamp >= cutoff)
            text.append(line).append('\n');
    });
    if (const auto line = encodeLine(latest); line && now.toMSecsSinceEpoch() >= cutoff)
        text.append(*line).append('\n');
    return safefile::writeFileAtomically(path, text);
}

Result<qsizetype, QString> recordEarlier(AIProvider provider, QList<UsageSnapshot> snapshots, const QDateTime& now)
{
    const QString path = filePath();
    const FileLock lock(path);
    const auto old = readAllPadded();
    if (!old)
        return old.error();
    const EpochMs cutoff = now.addSecs(-kRetentionSeconds).toMSecsSinceEpoch();
    // Whatever the history holds of the provider already wins: only what came before it is added,
    // so a second run (or a refresh that recorded first) never gives a point twice.
    EpochMs before = now.toMSecsSinceEpoch() + 1;
    forEachLine(*old, [&](QByteArrayView line) {
        if (const auto snapshot = decodeLine(line); snapshot && !limitPoints(*snapshot, provider).isEmpty())
            before = std::min<EpochMs>(before, snapshot->timestamp.toMSecsSinceEpoch());
    });
    std::stable_sort(snapshots.begin(), snapshots.end(),
                     [](const UsageSnapshot& a, const UsageSnapshot& b) { return a.timestamp < b.timestamp; });
    QList<QPair<EpochMs, QByteArray>> added;
    for (const UsageSnapshot& snapshot : std::as_const(snapshots)) {
        const EpochMs at = snapshot.timestamp.toMSecsSinceEpoch();
        const bool onlyProvider = std::ranges::all_of(
            snapshot.limits, [provider](const UsageSnapshot::LimitPoint& p) { return p.provider == provider; });
        if (at >= cutoff && at < before && onlyProvider && !snapshot.limits.isEmpty()) {
            if (auto line = encodeLine(snapshot))
                added.append({at, std::move(*line)});
        }
    }
    if (added.isEmpty())
        return qsizetype(0);
    // In time order among the lines already there, which readers expect.
    QByteArray text;
    text.reserve(old->size() + added.size() * 160);
    qsizetype next = 0;
    forEachLine(*old, [&](QByteArrayView line) {
        const auto stamp = lineTimestamp(line);
        for (; stamp && next < added.size() && added[next].first < *stamp; ++next)
            text.append(added[next].second).append('\n');
        if (!stamp || *stamp >= cutoff)
            text.append(line).append('\n');
    });
    for (; next < added.size(); ++next)
        text.append(added[next].second).append('\n');
    if (const auto why = safefile::writeFileAtomically(path, text))
        return *why;
    return added.size();
}

std::optional<QString> clear()
{
    const QString path = filePath();
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        return std::nullopt;
    const FileLock lock(path); // a record in progress must not bring the history back
    if (const auto why = safefile::checkReplaceable(path))
        return QString(u"cannot delete "_s + path + u": "_s + *why);
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        return QString(u"cannot delete "_s + path + u": "_s + QString::fromLocal8Bit(std::strerror(errno)));
    return std::nullopt;
}

Result<QByteArray, QString> exportCSV()
{
    const auto snapshots = read();
    if (!snapshots)
        return snapshots.error();
    QByteArray csv = "timestamp,provider,kind,title,percent,resets_at\n";
    const auto quoted = [](const QString& text) -> QString {
        return u'"' + QString(text).replace(u'"', u"\"\""_s) + u'"';
    };
    for (const UsageSnapshot& snapshot : *snapshots) {
        const QByteArray stamp = formatWholeSecondTimestamp(snapshot.timestamp).toLatin1();
        for (const auto& point : snapshot.limits) {
            // Texts come from the services: control characters are replaced, and a kind that
            // needs quoting is quoted rather than allowed to break the row.
            const QString kind = printableText(point.kind);
            const bool kindNeedsQuotes = kind.contains(u',') || kind.contains(u'"');
            const QByteArray percent = detail::decimalText(point.percent);
            csv.append(stamp).append(',').append(rawValue(point.provider).toUtf8()).append(',');
            csv.append((kindNeedsQuotes ? quoted(kind) : kind).toUtf8()).append(',');
            csv.append(quoted(printableText(point.displayName.value_or(QString()))).toUtf8()).append(',');
            csv.append(percent).append(',');
            if (point.resetsAt)
                csv.append(formatWholeSecondTimestamp(*point.resetsAt).toLatin1());
            csv.append('\n');
        }
    }
    return csv;
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
    // Compared piecewise: building each candidate's key text would allocate once per point,
    // and charts and insights ask this for every snapshot of a two-week history.
    for (const auto& candidate : snapshot.limits) {
        const QString raw = rawValue(candidate.provider);
        if (seriesKey.size() == raw.size() + 1 + candidate.kind.size() && seriesKey.startsWith(raw) &&
            seriesKey[raw.size()] == u':' && seriesKey.sliced(raw.size() + 1) == candidate.kind)
            return candidate;
    }
    return std::nullopt;
}

} // namespace HistoryStore
} // namespace tallyvue
