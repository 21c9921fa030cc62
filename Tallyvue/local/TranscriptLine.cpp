// SPDX-License-Identifier: MIT
#include "local/TranscriptLine.h"

#include "local/Saturating.h"

#include <simdjson.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

namespace tallyvue::detail {
namespace {

using namespace simdjson;

static_assert(kLinePadding >= SIMDJSON_PADDING);

// A parser kept between scans holds memory in proportion to the longest line it met: one
// that met a long line starts afresh.
constexpr std::size_t kKeepParserCapacity = 256u << 10;
constexpr std::size_t kFirstParserCapacity = 64u << 10;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::int64_t saturatingSub(std::int64_t a, std::int64_t b)
{
    std::int64_t diff = 0;
    if (__builtin_sub_overflow(a, b, &diff))
        return b < 0 ? kMax : kMin;
    return diff;
}

/// Token counts: a missing key or a value that is not a number counts 0, fractions are cut
/// off, true counts 1. Values beyond 64 bits stop at the limit instead of wrapping.
std::int64_t tokenCount(const std::optional<dom::element>& member)
{
    if (!member)
        return 0;
    const dom::element& value = *member;
    switch (value.type()) {
    case dom::element_type::INT64: return value.get_int64().value_unsafe();
    case dom::element_type::UINT64: {
        const std::uint64_t v = value.get_uint64().value_unsafe();
        return v > std::uint64_t(kMax) ? kMax : std::int64_t(v);
    }
    case dom::element_type::DOUBLE: {
        const double v = std::trunc(value.get_double().value_unsafe());
        if (v >= 9.2233720368547758e18)
            return kMax;
        if (v <= -9.2233720368547758e18)
            return kMin;
        return std::int64_t(v);
    }
    case dom::element_type::BOOL: return value.get_bool().value_unsafe() ? 1 : 0;
    default: return 0;
    }
}

std::int64_t tokenCount(const dom::object& object, std::string_view key)
{
    dom::element value;
    return object[key].get(value) ? 0 : tokenCount(std::optional(value));
}

std::int32_t narrowCount(std::int64_t count)
{
    return std::int32_t(std::clamp<std::int64_t>(count, std::numeric_limits<std::int32_t>::min(),
                                                 std::numeric_limits<std::int32_t>::max()));
}

std::optional<std::string_view> stringField(const dom::object& object, std::string_view key)
{
    std::string_view text;
    if (object[key].get_string().get(text))
        return std::nullopt;
    return text;
}

/**
 * The members named by `keys` (string literals), in one walk over the object. A lookup by key
 * walks every member before the one it seeks and compares each key of the same length
 * through a call; here a key of another length fails at once and the rest compiles to a
 * compare. As with a lookup, the first of two equal keys wins; a missing member stays empty.
 */
template<std::size_t... N>
std::array<std::optional<dom::element>, sizeof...(N)> members(const dom::object& object, const char (&... keys)[N])
{
    std::array<std::optional<dom::element>, sizeof...(N)> found;
    for (const dom::key_value_pair field : object) {
        const std::string_view key = field.key;
        std::size_t i = 0;
        const auto take = [&](const char* name, std::size_t size) {
            if (found[i] || key.size() != size || std::memcmp(key.data(), name, size) != 0) {
                ++i;
                return false;
            }
            found[i] = field.value;
            return true;
        };
        static_cast<void>((take(keys, N - 1) || ...));
    }
    return found;
}

std::optional<std::string_view> asString(const std::optional<dom::element>& member)
{
    std::string_view text;
    if (!member || member->get_string().get(text))
        return std::nullopt;
    return text;
}

std::optional<dom::object> asObject(const std::optional<dom::element>& member)
{
    dom::object object;
    if (!member || member->get_object().get(object))
        return std::nullopt;
    return object;
}

std::optional<EpochMs> lineTimestamp(const dom::object& root)
{
    const auto text = stringField(root, "timestamp");
    return text ? parseTimestampMs(*text) : std::nullopt;
}

/// A number member, whole or not; NaN when missing or not a number.
double numberField(const dom::object& object, std::string_view key)
{
    double value = 0;
    if (!object[key].get_double().get(value))
        return value;
    std::int64_t whole = 0;
    if (!object[key].get_int64().get(whole))
        return double(whole);
    return std::nan("");
}

/// One window of Codex's "rate_limits": "resets_at" (Unix seconds) in newer versions,
/// "resets_in_seconds" from the line's time in older ones.
CodexLimitWindow limitWindow(const dom::object& limits, std::string_view key, EpochMs lineTime)
{
    dom::object window;
    if (limits[key].get_object().get(window))
        return {};
    const double used = numberField(window, "used_percent");
    if (!std::isfinite(used))
        return {};
    CodexLimitWindow out{true, used, 0, 0};
    if (const double minutes = numberField(window, "window_minutes"); std::isfinite(minutes) && minutes > 0 &&
                                                                      minutes < 1e9)
        out.windowMinutes = std::int64_t(minutes);
    if (const double at = numberField(window, "resets_at"); std::isfinite(at) && at > 0 && at < 1e11)
        out.resetsAt = std::int64_t(at);
    else if (const double in = numberField(window, "resets_in_seconds"); std::isfinite(in) && in >= 0 && in < 1e11)
        out.resetsAt = lineTime / 1000 + std::int64_t(in);
    return out;
}

/// Reads a plain JSON string (no escapes) at `pos`; moves past it.
std::optional<std::string_view> plainString(std::string_view line, std::size_t& pos)
{
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    const std::size_t close = line.find('"', pos + 1);
    if (close == std::string_view::npos)
        return std::nullopt;
    const std::string_view text = line.substr(pos + 1, close - pos - 1);
    if (text.find('\\') != std::string_view::npos)
        return std::nullopt;
    pos = close + 1;
    return text;
}

bool literal(std::string_view line, std::size_t& pos, std::string_view text)
{
    if (line.substr(pos, text.size()) != text)
        return false;
    pos += text.size();
    return true;
}

/**
 * Codex writes every line as {"timestamp":"…","type":"…","payload":{"type":"…",…}}, and most
 * lines are tool calls and messages that can never be usage. Reading those leading keys
 * decides them without parsing the rest. The answer equals the full parse: the first "type"
 * is the one a lookup finds, and a line of another type yields nothing whatever follows.
 */
bool codexLineIsIrrelevant(std::string_view line)
{
    std::size_t pos = 0;
    if (!literal(line, pos, R"({"timestamp":)") || !plainString(line, pos) || !literal(line, pos, R"(,"type":)"))
        return false;
    const auto type = plainString(line, pos);
    if (!type)
        return false;
    if (*type == "session_meta" || *type == "turn_context")
        return false;
    if (*type != "event_msg")
        return true;
    if (!literal(line, pos, R"(,"payload":{"type":)"))
        return false;
    const auto payloadType = plainString(line, pos);
    return payloadType && *payloadType != "token_count";
}

std::uint64_t mixed(std::uint64_t x)
{
    // splitmix64's finaliser
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

/// A hash of a JSON object that equal objects share whatever their key order (a sum over
/// the fields), computed without allocating: it runs on every Codex token_count line.
std::uint64_t objectHash(const dom::object& object)
{
    std::uint64_t sum = 0;
    for (const dom::key_value_pair field : object) {
        std::uint64_t value = 0;
        switch (field.value.type()) {
        case dom::element_type::INT64: value = std::uint64_t(field.value.get_int64().value_unsafe()); break;
        case dom::element_type::UINT64: value = field.value.get_uint64().value_unsafe(); break;
        case dom::element_type::DOUBLE: {
            const double d = field.value.get_double().value_unsafe();
            std::memcpy(&value, &d, sizeof value);
            value = mixed(value ^ 0x5555);
            break;
        }
        default: value = std::hash<std::string>{}(simdjson::to_string(field.value)); break;
        }
        sum += mixed(std::hash<std::string_view>{}(field.key) ^ mixed(value));
    }
    return sum;
}

} // namespace

std::string_view transcriptMarker(TranscriptKind kind)
{
    return kind == TranscriptKind::Claude ? std::string_view(R"("type":"assistant")")
                                          : std::string_view(R"("payload")");
}

std::string_view lastPathComponent(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    if (path == "/")
        return path;
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

InternedString NameCache::get(std::string_view utf8)
{
    if (m_hasLast && utf8 == m_lastKey)
        return m_last;
    m_lastKey.assign(utf8);
    auto it = m_names.find(m_lastKey);
    if (it == m_names.end())
        it = m_names.emplace(m_lastKey, InternedString(utf8)).first;
    m_last = it->second;
    m_hasLast = true;
    return m_last;
}

LineParser::LineParser() : m_parser(std::make_unique<dom::parser>())
{
}

LineParser::~LineParser() = default;

bool LineParser::parseDocument(std::string_view line)
{
    // Grow in steps, not to each new longest line: every growth maps fresh pages.
    if (line.size() > m_parser->capacity() &&
        m_parser->allocate(std::max({line.size(), 2 * m_parser->capacity(), kFirstParserCapacity})))
        return false;
    return !m_parser->parse(line.data(), line.size(), false).error();
}

void LineParser::trim()
{
    if (m_parser->capacity() > kKeepParserCapacity)
        m_parser = std::make_unique<dom::parser>();
}

std::optional<LineEvent> LineParser::parse(TranscriptKind kind, std::string_view line, InternedString fallbackProject,
                                           CodexContext& context)
{
    return kind == TranscriptKind::Claude ? parseClaude(line, fallbackProject) : parseCodex(line, context);
}

std::optional<LineEvent> LineParser::parseClaude(std::string_view line, InternedString fallbackProject)
{
    if (!parseDocument(line))
        return std::nullopt;
    dom::object root;
    if (m_parser->doc.root().get_object().get(root))
        return std::nullopt;
    const auto [type, messageMember, timestampMember, cwdMember] = members(root, "type", "message", "timestamp", "cwd");
    if (asString(type) != std::optional(std::string_view("assistant")))
        return std::nullopt;
    const auto message = asObject(messageMember);
    if (!message)
        return std::nullopt;
    const auto [usageMember, idMember, modelMember] = members(*message, "usage", "id", "model");
    const auto usage = asObject(usageMember);
    const auto timestampText = asString(timestampMember);
    const auto timestamp = timestampText ? parseTimestampMs(*timestampText) : std::nullopt;
    if (!usage || !timestamp)
        return std::nullopt;

    LineEvent out;
    LocalUsageEvent& e = out.event;
    e.provider = AIProvider::Claude;
    e.timestamp = *timestamp;
    const auto [input, output, cacheCreation, cacheRead, written] =
        members(*usage, "input_tokens", "output_tokens", "cache_creation_input_tokens", "cache_read_input_tokens",
                "cache_creation");
    e.inputTokens = tokenCount(input);
    e.outputTokens = tokenCount(output);
    e.cacheCreationTokens = tokenCount(cacheCreation);
    e.cacheReadTokens = tokenCount(cacheRead);
    if (const auto split = asObject(written)) {
        e.cacheCreation5mTokens = narrowCount(tokenCount(*split, "ephemeral_5m_input_tokens"));
        e.cacheCreation1hTokens = narrowCount(tokenCount(*split, "ephemeral_1h_input_tokens"));
    }
    const std::int64_t sum = saturatingAdd(saturatingAdd(e.inputTokens, e.outputTokens),
                                           saturatingAdd(e.cacheCreationTokens, e.cacheReadTokens));
    if (sum < 1)
        return std::nullopt;

    // An empty cwd names nothing; the transcript's folder does better than a blank project.
    const auto cwd = asString(cwdMember);
    e.project = cwd && !cwd->empty() ? m_projects.get(lastPathComponent(*cwd)) : fallbackProject;
    if (const auto id = asString(idMember)) {
        out.id = *id;
        out.hasId = true;
    }
    const auto model = asString(modelMember);
    e.model = m_models.get(model ? *model : std::string_view("unknown"));
    return out;
}

std::optional<LineEvent> LineParser::parseCodex(std::string_view line, CodexContext& context)
{
    if (codexLineIsIrrelevant(line) || !parseDocument(line))
        return std::nullopt;
    dom::object root;
    if (m_parser->doc.root().get_object().get(root))
        return std::nullopt;
    const auto type = stringField(root, "type");
    dom::object payload;
    if (!type || root["payload"].get_object().get(payload))
        return std::nullopt;

    if (*type == "session_meta" || *type == "turn_context") {
        if (const auto cwd = stringField(payload, "cwd"); cwd && !cwd->empty())
            context.project = m_projects.get(lastPathComponent(*cwd));
        if (const auto model = stringField(payload, "model"))
            context.model = m_models.get(*model);
        return std::nullopt;
    }
    if (*type != "event_msg" || stringField(payload, "type") != std::optional(std::string_view("token_count")))
        return std::nullopt;
    if (dom::object limits; !payload["rate_limits"].get_object().get(limits)) {
        if (const auto at = lineTimestamp(root)) {
            CodexRateLimits read{*at, limitWindow(limits, "primary", *at), limitWindow(limits, "secondary", *at)};
            if ((read.primary.present || read.secondary.present) &&
                (!context.lastLimits || context.lastLimits->timestamp <= read.timestamp))
                context.lastLimits = read;
        }
    }
    dom::object info;
    if (payload["info"].get_object().get(info))
        return std::nullopt;
    // Codex writes some token_count events twice, the second time after the tool output:
    // an unchanged cumulative total means no new request.
    bool repeatsIfTotalKnown = false;
    dom::object total;
    if (!info["total_token_usage"].get_object().get(total)) {
        const std::uint64_t hash = objectHash(total);
        if (context.lastTotal == hash)
            return std::nullopt;
        repeatsIfTotalKnown = !context.lastTotal;
        context.lastTotal = hash;
    }
    dom::object last;
    if (info["last_token_usage"].get_object().get(last))
        return std::nullopt;
    const auto timestamp = lineTimestamp(root);
    if (!timestamp)
        return std::nullopt;

    const std::int64_t cached = tokenCount(last, "cached_input_tokens");
    const std::int64_t input = tokenCount(last, "input_tokens");
    const std::int64_t output = tokenCount(last, "output_tokens");
    const std::int64_t uncached = std::max<std::int64_t>(saturatingSub(input, cached), 0);
    if (saturatingAdd(saturatingAdd(uncached, cached), output) < 1)
        return std::nullopt;

    LineEvent out;
    LocalUsageEvent& e = out.event;
    e.provider = AIProvider::ChatGPT;
    e.timestamp = *timestamp;
    e.inputTokens = uncached;
    e.outputTokens = output;
    e.cacheCreationTokens = 0;
    e.cacheReadTokens = cached;
    out.inheritsProject = !context.project;
    out.inheritsModel = !context.model;
    out.repeatsIfTotalKnown = repeatsIfTotalKnown;
    static const InternedString codex("Codex");
    static const InternedString unknown("unknown");
    e.project = context.project.value_or(codex);
    e.model = context.model.value_or(unknown);
    return out;
}

} // namespace tallyvue::detail
