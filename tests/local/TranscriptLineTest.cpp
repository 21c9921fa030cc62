// SPDX-License-Identifier: MIT
#include "TranscriptFixtures.h"

#include "local/TranscriptLine.h"

#include <optional>
#include <vector>

using namespace tallyvue;
using namespace tallyvue::detail;
using namespace tallyvue::test;

namespace {

struct Parsed
{
    std::optional<LineEvent> event;
    std::string id;
};

/// The parser may read past a line's end, as it does inside the reader's buffer.
Parsed parse(LineParser& parser, TranscriptKind kind, std::string line, CodexContext& context)
{
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    std::vector<char> padded(line.begin(), line.end());
    padded.resize(line.size() + kLinePadding, ' ');
    Parsed out;
    out.event = parser.parse(kind, std::string_view(padded.data(), line.size()), InternedString("folder"), context);
    if (out.event)
        out.id = std::string(out.event->id);
    return out;
}

} // namespace

// Which Claude rows give an event: everything the rules require, and the near misses.
TEST(ClaudeLineRule, DecidesWhichRowsCount)
{
    const std::string ts = iso(kNow);
    const auto row = [&](const std::string& message, const std::string& rest = "") {
        return "{" + rest + "\"message\":" + message + ",\"type\":\"assistant\",\"timestamp\":\"" + ts + "\"}";
    };
    const std::string usage = R"({"usage":{"input_tokens":1}})";
    // The row, and whether it gives an event.
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"a plain row", claudeLine({}), true},
        {"usage only", row(usage), true},
        {"type twice: the first counts", row(usage, R"("type":"user",)"), false},
        {"all four counts zero", row(R"({"usage":{"input_tokens":0,"output_tokens":0}})"), false},
        {"counts that are not numbers", row(R"({"usage":{"input_tokens":"5","output_tokens":null}})"), false},
        {"usage not an object", row(R"({"usage":[1]})"), false},
        {"message not an object", row(R"("text")"), false},
        {"no message", R"({"type":"assistant","timestamp":")" + ts + R"("})", false},
        {"user row", R"({"message":{"usage":{"input_tokens":1}},"type":"user","timestamp":")" + ts + R"("})", false},
        {"type not a string", R"({"message":{"usage":{"input_tokens":1}},"type":1,"timestamp":")" + ts + R"("})",
         false},
        {"no timestamp", R"({"message":{"usage":{"input_tokens":1}},"type":"assistant"})", false},
        {"timestamp without zone",
         R"({"message":{"usage":{"input_tokens":1}},"type":"assistant","timestamp":"2026-01-10T12:00:00"})", false},
        {"bare date", R"({"message":{"usage":{"input_tokens":1}},"type":"assistant","timestamp":"2026-01-10"})", true},
        {"timestamp a number", R"({"message":{"usage":{"input_tokens":1}},"type":"assistant","timestamp":5})", false},
        {"not JSON", R"({"message":{"usage":{"input_tokens":1}},"type":"assistant",)", false},
        {"bytes after the object", row(usage) + R"({"a":1})", false},
        {"top level an array", "[" + row(usage) + "]", false},
        {"two rows glued together", R"({"message":{"id":"m","usage":{"input_tokens":5)" + claudeLine({}), false},
    };
    LineParser parser;
    CodexContext context;
    for (const auto& [what, line, yields] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(parse(parser, TranscriptKind::Claude, line, context).event.has_value(), yields);
    }
}

// The fields of a Claude event, the fallbacks for missing ones, and the number rule.
TEST(ClaudeLineRule, ReadsFields)
{
    LineParser parser;
    CodexContext context;
    const Parsed full =
        parse(parser, TranscriptKind::Claude,
              claudeLine({.id = "msg_9",
                          .at = kNow,
                          .model = "claude-opus-4-1",
                          .cwd = "/home/me/proj/",
                          .cacheCreation = R"({"ephemeral_5m_input_tokens":1,"ephemeral_1h_input_tokens":2})"}),
              context);
    ASSERT_TRUE(full.event);
    const LocalUsageEvent& e = full.event->event;
    EXPECT_EQ(e.provider, AIProvider::Claude);
    EXPECT_EQ(e.timestamp, kNow);
    EXPECT_EQ(e.model.text(), u"claude-opus-4-1");
    EXPECT_EQ(e.project.text(), u"proj");
    EXPECT_EQ((std::array{e.inputTokens, e.outputTokens, e.cacheCreationTokens, e.cacheReadTokens,
                          std::int64_t(e.cacheCreation5mTokens), std::int64_t(e.cacheCreation1hTokens)}),
              (std::array<std::int64_t, 6>{10, 20, 30, 40, 1, 2}));
    EXPECT_TRUE(full.event->hasId);
    EXPECT_EQ(full.id, "msg_9");

    const Parsed bare = parse(parser, TranscriptKind::Claude, claudeLine({.id = "", .model = "", .cwd = ""}), context);
    ASSERT_TRUE(bare.event);
    EXPECT_FALSE(bare.event->hasId);
    EXPECT_EQ(bare.event->event.model.text(), u"unknown");
    EXPECT_EQ(bare.event->event.project.text(), u"folder");

    const std::string numbers =
        R"({"message":{"usage":{"input_tokens":12.9,"output_tokens":true,"cache_creation_input_tokens":-3,)"
        R"("cache_read_input_tokens":18446744073709551615,"output_tokens":7}},"type":"assistant",)"
        R"("timestamp":"2026-01-10T12:00:00+02:00"})";
    const Parsed odd = parse(parser, TranscriptKind::Claude, numbers, context);
    ASSERT_TRUE(odd.event);
    EXPECT_EQ(odd.event->event.inputTokens, 12);
    EXPECT_EQ(odd.event->event.outputTokens, 1);
    EXPECT_EQ(odd.event->event.cacheCreationTokens, -3);
    EXPECT_EQ(odd.event->event.cacheReadTokens, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(odd.event->event.timestamp, kNow - 2 * kHour);
}

// Codex: announcements feed the context, token counts become events.
TEST(CodexLineRule, ContextAndTokenCounts)
{
    LineParser parser;
    CodexContext context;
    const auto tokens = [&](const std::string& line) { return parse(parser, TranscriptKind::Codex, line, context); };

    // Before any announcement the event inherits (and shows the placeholders).
    const Parsed early = tokens(codexTokens(kNow, 100, 40, 7));
    ASSERT_TRUE(early.event);
    EXPECT_TRUE(early.event->inheritsProject);
    EXPECT_TRUE(early.event->inheritsModel);
    EXPECT_EQ(early.event->event.project.text(), u"Codex");
    EXPECT_EQ(early.event->event.model.text(), u"unknown");
    EXPECT_EQ(early.event->event.inputTokens, 60);
    EXPECT_EQ(early.event->event.cacheReadTokens, 40);
    EXPECT_EQ(early.event->event.cacheCreationTokens, 0);
    EXPECT_EQ(early.event->event.provider, AIProvider::ChatGPT);
    EXPECT_FALSE(early.event->hasId);

    EXPECT_FALSE(tokens(codexMeta("session_meta", "/work/tool", "")).event);
    EXPECT_FALSE(tokens(codexMeta("turn_context", "/ignored/by/next", "gpt-5-codex")).event);
    EXPECT_FALSE(tokens(codexMeta("turn_context", "/work/other", "")).event);
    ASSERT_TRUE(context.project && context.model);
    EXPECT_EQ(context.project->text(), u"other");
    EXPECT_EQ(context.model->text(), u"gpt-5-codex");

    const Parsed later = tokens(codexTokens(kNow, 10, 50, 0));
    ASSERT_TRUE(later.event);
    EXPECT_FALSE(later.event->inheritsProject);
    EXPECT_EQ(later.event->event.project.text(), u"other");
    EXPECT_EQ(later.event->event.inputTokens, 0); // more cached than input
    EXPECT_EQ(later.event->event.cacheReadTokens, 50);

    const std::string ts = iso(kNow);
    const std::string none[] = {
        codexTokens(kNow, 0, 0, 0),
        R"({"timestamp":")" + ts + R"(","type":"event_msg","payload":{"type":"token_count","info":null}})",
        R"({"timestamp":")" + ts + R"(","type":"event_msg","payload":{"type":"token_count","info":{}}})",
        R"({"timestamp":")" + ts +
            R"(","type":"event_msg","payload":{"type":"agent_message","info":{"last_token_usage":{"input_tokens":5}}}})",
        R"({"timestamp":")" + ts +
            R"(","type":"response_item","payload":{"type":"token_count","info":{"last_token_usage":{"input_tokens":5}}}})",
        R"({"timestamp":"yesterday","type":"event_msg","payload":{"type":"token_count","info":{"last_token_usage":{"input_tokens":5}}}})",
        R"({"timestamp":")" + ts + R"(","type":"event_msg","payload":"token_count"})",
        // A tool call whose later bytes are broken is not usage either way.
        R"({"timestamp":")" + ts + R"(","type":"response_item","payload":{"type":"function_call_output","output":)",
    };
    for (const std::string& line : none) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(tokens(line).event);
    }
    // A token_count whose cumulative total equals the previous one repeats it; one without a
    // total counts and leaves the remembered total alone. The first total of a read cannot
    // be decided here: the scanner compares it with the file's remembered one.
    const auto withTotal = [&](const std::string& total) { return codexTokens(kNow, 10, 0, 1, total); };
    CodexContext fresh;
    const auto repeats = [&](const std::string& line) { return parse(parser, TranscriptKind::Codex, line, fresh); };
    const Parsed opening = repeats(withTotal(R"({"input_tokens":10,"output_tokens":1})"));
    ASSERT_TRUE(opening.event);
    EXPECT_TRUE(opening.event->repeatsIfTotalKnown);
    EXPECT_FALSE(repeats(withTotal(R"({"input_tokens":10,"output_tokens":1})")).event);
    EXPECT_FALSE(repeats(withTotal(R"({ "output_tokens" : 1, "input_tokens" : 10 })")).event);
    EXPECT_TRUE(repeats(withTotal("")).event);
    EXPECT_FALSE(repeats(withTotal(R"({"input_tokens":10,"output_tokens":1})")).event);
    const Parsed next = repeats(withTotal(R"({"input_tokens":20,"output_tokens":2})"));
    ASSERT_TRUE(next.event);
    EXPECT_FALSE(next.event->repeatsIfTotalKnown);

    // Keys in another order or with blanks take the full parse and still count.
    const std::string reordered =
        R"({ "payload" : {"info":{"last_token_usage":{"output_tokens":3}},"type":"token_count"}, "type" : "event_msg", "timestamp" : ")" +
        ts + R"("})";
    EXPECT_TRUE(tokens(reordered).event);
}
