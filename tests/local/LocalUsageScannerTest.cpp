// SPDX-License-Identifier: MIT
#include "TranscriptFixtures.h"

#include "local/CodexLimitsTimeline.h"
#include "local/LocalUsageScanner.h"
#include "refresh/CodexLogHistory.h"

#include <unistd.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

class ScannerTest : public TranscriptTreeFixture
{
protected:
    void SetUp() override { m_scanner = makeScanner(); }

    std::vector<LocalUsageEvent> scan(EpochMs now = kNow) { return m_scanner->scanBlocking(now); }

    static std::vector<std::int64_t> outputs(LocalUsageScanner& scanner, EpochMs now = kNow)
    {
        std::vector<std::int64_t> out;
        for (const LocalUsageEvent& e : scanner.scanBlocking(now))
            out.push_back(e.outputTokens);
        return out;
    }
    std::vector<std::int64_t> outputs(EpochMs now = kNow) { return outputs(*m_scanner, now); }

    std::unique_ptr<LocalUsageScanner> m_scanner;
};

using Outputs = std::vector<std::int64_t>;

} // namespace

// What changes between two scans do: a partial last line counts once its line feed is written;
// a truncated file, or another file renamed over it, is read from its start; the marker is a byte
// test; hidden files and folders and other extensions are never read; a file too old is not opened
// for the first time, but a known one stays when it ages; the 8-day window includes its start and
// older events stay in memory; a tree that disappears takes its files' events with it.
TEST_F(ScannerTest, ChangesBetweenScans)
{
    const QString file = u"claude/projects/p/s.jsonl"_s;
    const QString known = u"claude/projects/p/known.jsonl"_s;
    const std::string second = claudeLine({.id = "b", .output = 2});
    std::string spaced = claudeLine({.id = "s", .output = 7});
    spaced.replace(spaced.find(R"("type":"assistant")"), 18, R"("type": "assistant")");
    const auto replaceFile = [&] {
        write(u"claude/projects/p/new.tmp"_s,
              claudeLine({.id = "c", .output = 4}) + claudeLine({.id = "d", .output = 5}));
        ASSERT_EQ(::rename(QFile::encodeName(pathOf(u"claude/projects/p/new.tmp"_s)).constData(),
                           QFile::encodeName(pathOf(file)).constData()),
                  0);
    };
    const auto otherFiles = [&] {
        for (const QString& name :
             {u"claude/projects/.hidden/s.jsonl"_s, u"claude/projects/p/.s.jsonl"_s, u"claude/projects/p/s.JSONL"_s,
              u"claude/projects/p/s.json"_s, u"claude/projects/p/s.jsonl.bak"_s, u"codex/sessions/.git/x.jsonl"_s})
            write(name, claudeLine({.id = "", .output = 99}));
        write(u"claude/projects/p/old.jsonl"_s, claudeLine({.id = "", .output = 98}));
        setModified(u"claude/projects/p/old.jsonl"_s, kNow - 9 * kDay);
    };
    const EpochMs cutoff = kNow - LocalUsageScanner::kWindowMs;
    const std::string edges = claudeLine({.id = "e", .at = cutoff - 1000, .output = 10}) +
                              claudeLine({.id = "f", .at = cutoff, .output = 11}) +
                              claudeLine({.id = "g", .at = kNow + kHour, .output = 12});
    const struct
    {
        const char* what;
        std::function<void()> change;
        Outputs outputs;
        EpochMs now = kNow;
    } steps[] = {
        {"a partial last line", [&] { write(file, claudeLine({.id = "a", .output = 1}) + second.substr(0, 50)); }, {1}},
        {"its line feed", [&] { append(file, second.substr(50)); }, {1, 2}},
        {"truncated", [&] { write(file, claudeLine({.id = "b", .output = 3})); }, {3}},
        {"another file renamed over it", replaceFile, {4, 5}},
        {"a blank after the marker's colon",
         [&] { append(file, spaced + claudeLine({.id = "t", .output = 8})); },
         {4, 5, 8}},
        {"hidden, other extensions, too old", otherFiles, {4, 5, 8}},
        {"a known file ages", [&] { setModified(file, kNow - 9 * kDay); }, {4, 5, 8}},
        {"events at the window's edges", [&] { write(known, edges); }, {11, 4, 5, 8, 12}},
        {"an earlier now", [] {}, {10, 11, 4, 5, 8, 12}, kNow - 1000},
        {"a Codex tree",
         [&] { write(u"codex/sessions/x.jsonl"_s, codexTokens(kNow, 5, 0, 13)); },
         {11, 4, 5, 8, 13, 12}},
        {"the Codex tree removed", [&] { ASSERT_TRUE(QDir(codexRoot()).removeRecursively()); }, {11, 4, 5, 8, 12}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        EXPECT_EQ(outputs(step.now), step.outputs);
    }
    EXPECT_EQ(m_scanner->lastSummary().files, 2u);
}

// Usage is never lost while some file holds it: a transcript renamed, moved to the other
// Claude folder, or deleted or cut short while a copy exists keeps its requests counted; ids
// count once across both folders, and a folder linked to the other is read once.
TEST_F(ScannerTest, UsageSurvivesRenamesMovesAndCopies)
{
    const QString config = u"config/claude/projects"_s;
    const QString classic = u"claude/projects"_s;
    LocalUsageScanner scanner({{AIProvider::Claude, pathOf(config)}, {AIProvider::Claude, claudeRoot()}});
    const auto move = [&](const QString& from, const QString& to) {
        QDir().mkpath(QFileInfo(pathOf(to)).absolutePath());
        ASSERT_TRUE(QFile::rename(pathOf(from), pathOf(to)));
    };
    const std::string y = claudeLine({.id = "y", .at = kNow - 1000, .output = 2});
    const std::string rows = claudeLine({.id = "x", .at = kNow - 2000, .output = 1}) + y;
    const Outputs both{1, 2};

    write(config + u"/p/a.jsonl", rows);
    EXPECT_EQ(outputs(scanner), both);
    move(config + u"/p/a.jsonl", config + u"/p/b.jsonl");
    EXPECT_EQ(outputs(scanner), both) << "renamed";
    move(config + u"/p/b.jsonl", classic + u"/p/b.jsonl");
    EXPECT_EQ(outputs(scanner), both) << "moved to the other folder";
    write(config + u"/q/copy.jsonl", rows);
    EXPECT_EQ(outputs(scanner), both) << "a copy in the other folder";
    ASSERT_TRUE(QFile::remove(pathOf(classic + u"/p/b.jsonl")));
    EXPECT_EQ(outputs(scanner), both) << "deleted, with a copy";
    write(config + u"/r/copy.jsonl", rows);
    EXPECT_EQ(outputs(scanner), both);
    write(config + u"/q/copy.jsonl", y);
    EXPECT_EQ(outputs(scanner), both) << "cut short, with a copy";
    EXPECT_EQ(scanner.lastSummary().files, 2u);

    LocalUsageScanner linked({{AIProvider::Claude, pathOf(config)}, {AIProvider::Claude, pathOf(u"link"_s)}});
    ASSERT_TRUE(QFile::link(pathOf(config), pathOf(u"link"_s)));
    EXPECT_EQ(outputs(linked), both);
    EXPECT_EQ(linked.lastSummary().files, 2u);
}

// Codex writes some token_count events twice. Each request counts once, also when a repeat
// arrives in a later scan or in another piece of the file, so a session adds up to its own
// cumulative total; the session's folder and model carry across scans and pieces too.
TEST_F(ScannerTest, CodexRepeatedTokenCountsCountOnce)
{
    std::vector<std::string> lines{codexMeta("session_meta", "/w/tool", "gpt-5-codex")};
    std::int64_t totalInput = 0;
    std::int64_t totalOutput = 0;
    std::size_t cut = 0;
    for (int i = 0; i < 60; ++i) {
        const std::int64_t input = 1000 + i * 37;
        const std::int64_t output = 10 + i;
        totalInput += input;
        totalOutput += output;
        const std::string total = R"({"input_tokens":)" + std::to_string(totalInput) +
                                  R"(,"cached_input_tokens":0,"output_tokens":)" + std::to_string(totalOutput) + "}";
        lines.push_back(codexTokens(kNow - kHour + i * 1000, input, 400 + i, output, total));
        if (i % 3 != 0)
            lines.push_back(lines.back());
        if (i == 31)
            cut = lines.size() - 1; // the first scan ends between a line and its repeat
    }
    const auto sums = [](const std::vector<LocalUsageEvent>& events) {
        std::pair<std::int64_t, std::int64_t> out;
        for (const LocalUsageEvent& e : events) {
            out.first += e.inputTokens + e.cacheReadTokens;
            out.second += e.outputTokens;
        }
        return out;
    };
    const auto expected = std::make_pair(totalInput, totalOutput);
    std::string first;
    std::string rest;
    for (std::size_t k = 0; k < lines.size(); ++k)
        (k < cut ? first : rest) += lines[k];

    const QString file = u"codex/sessions/r.jsonl"_s;
    write(file, first);
    scan();
    append(file, rest);
    const auto events = scan();
    EXPECT_EQ(events.size(), 60u);
    EXPECT_EQ(sums(events), expected);
    EXPECT_EQ(events.back().project.text(), u"tool");
    EXPECT_EQ(events.back().model.text(), u"gpt-5-codex");

    const auto pieces = makeScanner();
    pieces->setTuning({.threads = 3, .chunkBytes = 4096, .parallelBytes = 0, .pieceBytes = 200});
    const auto read = pieces->scanBlocking(kNow);
    EXPECT_EQ(sums(read), expected);
    EXPECT_EQ(read.back().project.text(), u"tool");
}

// Reading with several threads and files cut into pieces gives what one thread gives.
TEST_F(ScannerTest, ParallelReadingMatchesSerial)
{
    for (int f = 0; f < 12; ++f) {
        std::string rows;
        for (int i = 0; i < 300; ++i) {
            // Ids repeat across files, so ownership depends on the order of merging.
            rows += claudeLine({.id = "m" + std::to_string((i * 7 + f) % 500),
                                .at = kNow - kHour + i * 1000 + f,
                                .output = (i * 13 + f) % 97,
                                .cwd = "/p/" + std::to_string(f)});
            rows += userLine(std::size_t(i % 50));
        }
        write(u"claude/projects/p%1/s.jsonl"_s.arg(f), rows);
        std::string codex = codexMeta("session_meta", "/c/" + std::to_string(f), "gpt-5");
        for (int i = 0; i < 200; ++i)
            codex += codexTokens(kNow - kHour + i, 100 + i, f, i);
        write(u"codex/sessions/%1.jsonl"_s.arg(f), codex);
    }
    const auto serial = makeScanner();
    serial->setTuning({.threads = 1});
    const auto parallel = makeScanner();
    parallel->setTuning({.threads = 3, .chunkBytes = 4096, .parallelBytes = 0, .pieceBytes = 10'000});
    auto key = [](std::vector<LocalUsageEvent> v) {
        std::sort(v.begin(), v.end(), [](const LocalUsageEvent& a, const LocalUsageEvent& b) {
            return std::tie(a.timestamp, a.outputTokens, a.inputTokens) <
                   std::tie(b.timestamp, b.outputTokens, b.inputTokens);
        });
        return v;
    };
    const auto expected = key(serial->scanBlocking(kNow));
    EXPECT_EQ(expected.size(), 500u + 12u * 200u);
    EXPECT_EQ(key(parallel->scanBlocking(kNow)), expected);
}

// The history's first days come from the Codex logs: one point per distinct value, in time order
// among what the history holds, nothing the history already covers, nothing twice.
TEST_F(ScannerTest, CodexLogsSeedTheHistory)
{
    const auto line = [](EpochMs at, int primary, int secondary) {
        return "{\"timestamp\":\"" + iso(at) + R"(","type":"event_msg","payload":{"type":"token_count","info":null,)" +
               R"("rate_limits":{"primary":{"used_percent":)" + std::to_string(primary) +
               R"(,"window_minutes":300,"resets_in_seconds":9000},"secondary":{"used_percent":)" +
               std::to_string(secondary) + R"(,"window_minutes":10080}}}})" + "\n";
    };
    write(u"codex/sessions/2026/01/10/rollout-a.jsonl"_s,
          line(kNow - 5 * kHour, 10, 3) + line(kNow - 4 * kHour, 10, 3) + line(kNow - 2 * kHour, 20, 3));
    write(u"codex/sessions/2026/01/10/rollout-b.jsonl"_s, line(kNow - 3 * kHour, 15, 4));
    write(u"codex/sessions/2025/12/20/rollout-old.jsonl"_s, line(kNow - kHour, 99, 99));
    setModified(u"codex/sessions/2025/12/20/rollout-old.jsonl"_s, kNow - 15 * 24 * kHour);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(kNow, Qt::UTC);
    HistoryStore::clear();
    HistoryStore::record({{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 50, std::nullopt, 18000}},
                         now.addSecs(-4 * 3600));
    const auto seed = [&] {
        return HistoryStore::recordEarlier(AIProvider::ChatGPT,
                                           codexLogSnapshots(codexLimitsTimeline(codexRoot(), kNow)), now);
    };
    EXPECT_EQ(seed().value(), 3);
    EXPECT_EQ(seed().value(), 0);
    std::vector<std::pair<EpochMs, std::vector<double>>> got;
    for (const UsageSnapshot& snapshot : HistoryStore::load()) {
        got.push_back({kNow - snapshot.timestamp.toMSecsSinceEpoch(), {}});
        for (const auto& point : snapshot.limits)
            got.back().second.push_back(point.percent);
    }
    const std::vector<std::pair<EpochMs, std::vector<double>>> want = {
        {5 * kHour, {10, 3}}, {4 * kHour, {50}}, {3 * kHour, {15, 4}}, {2 * kHour, {20, 3}}};
    EXPECT_EQ(got, want);
}
