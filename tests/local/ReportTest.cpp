// SPDX-License-Identifier: MIT
// Reports over fixed events, clocks and time zones, and the one-shot scan against the app's scanner.
#include "TranscriptFixtures.h"

#include "local/ComputerMonth.h"
#include "local/Report.h"

#include <algorithm>

// Option rows name only the members they set; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

struct Request
{
    const char* when;
    std::uint32_t session = 0;
    AIProvider provider = AIProvider::Claude;
    const char* project = "app";
    std::int64_t output = 60;
};

ReportEvents eventsOf(const std::vector<Request>& requests)
{
    ReportEvents out;
    for (const Request& r : requests) {
        LocalUsageEvent e;
        e.provider = r.provider;
        e.timestamp = at(r.when);
        e.model = InternedString(std::string_view(r.provider == AIProvider::Claude ? "claude-x" : "gpt-x"));
        e.project = InternedString(std::string_view(r.project));
        e.outputTokens = r.output;
        while (out.sessions.size() <= r.session)
            out.sessions.push_back({u"s%1"_s.arg(out.sessions.size()), {}, r.provider});
        out.events.push_back({e, r.session});
    }
    return out;
}

/// "key:requests" per row, model rows with their provider.
QStringList summary(const std::vector<ReportRow>& rows)
{
    QStringList out;
    for (const ReportRow& row : rows)
        out << (row.model.isEmpty() ? row.key : u"  "_s + rawValue(*row.provider)) + u':' +
                   QString::number(row.totals.requests);
    return out;
}

const QTimeZone kBerlin("Europe/Berlin");

} // namespace

// Periods follow the report's zone across a daylight-saving change and a month end; weeks
// start on the day asked for; --since/--until are whole local days; filters narrow first.
// A session is its transcript, rows go by last activity, and a range counts only its requests.
TEST(ReportTest, PeriodsInTheReportZone)
{
    // Berlin: 2026-03-29 has 23 hours (CET until 01:00Z, CEST after).
    const ReportEvents events = eventsOf({
        {"2026-01-31T22:59:00Z"},                                 // 23:59 on Jan 31 in Berlin
        {"2026-01-31T23:00:00Z", 1, AIProvider::ChatGPT, "tool"}, // Feb 1, 00:00 in Berlin
        {"2026-03-07T23:30:00Z"},                                 // Sunday, Mar 8 in Berlin
        {"2026-03-28T23:30:00Z", 2},                              // Mar 29, 00:30 CET
        {"2026-03-29T21:59:00Z", 2, AIProvider::ChatGPT, "tool"}, // Mar 29, 23:59 CEST
        {"2026-03-29T22:00:00Z", 2, AIProvider::Claude, "web"},   // Mar 30, 00:00 CEST
    });
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(at("2026-04-01T00:00:00Z"));
    using K = ReportKind;
    const QDate mar29(2026, 3, 29);
    const struct
    {
        const char* name;
        ReportOptions options;
        QStringList rows;
    } cases[] = {
        {"daily",
         {.kind = K::Daily, .zone = kBerlin},
         {u"2026-01-31:1"_s, u"2026-02-01:1"_s, u"2026-03-08:1"_s, u"2026-03-29:2"_s, u"2026-03-30:1"_s}},
        {"daily in UTC",
         {.kind = K::Daily, .zone = QTimeZone::utc()},
         {u"2026-01-31:2"_s, u"2026-03-07:1"_s, u"2026-03-28:1"_s, u"2026-03-29:2"_s}},
        {"monthly", {.kind = K::Monthly, .zone = kBerlin}, {u"2026-01:1"_s, u"2026-02:1"_s, u"2026-03:4"_s}},
        {"weeks from Monday",
         {.kind = K::Weekly, .zone = kBerlin},
         {u"2026-01-26:2"_s, u"2026-03-02:1"_s, u"2026-03-23:2"_s, u"2026-03-30:1"_s}},
        {"weeks from Sunday",
         {.kind = K::Weekly, .zone = kBerlin, .firstDayOfWeek = Qt::Sunday},
         {u"2026-01-25:1"_s, u"2026-02-01:1"_s, u"2026-03-08:1"_s, u"2026-03-29:3"_s}},
        {"one day with both edges", {.zone = kBerlin, .since = mar29, .until = mar29}, {u"2026-03-29:2"_s}},
        {"projects",
         {.kind = K::Monthly, .zone = kBerlin, .projects = {u"tool"_s, u"other"_s}},
         {u"2026-02:1"_s, u"2026-03:1"_s}},
        {"provider and since",
         {.zone = kBerlin, .since = QDate(2026, 3, 1), .provider = AIProvider::Claude},
         {u"2026-03-08:1"_s, u"2026-03-29:1"_s, u"2026-03-30:1"_s}},
        {"breakdown",
         {.kind = K::Monthly, .zone = kBerlin, .until = QDate(2026, 2, 1), .breakdown = true},
         {u"2026-01:1"_s, u"  Claude:1"_s, u"2026-02:1"_s, u"  ChatGPT:1"_s}},
        {"sessions", {.kind = K::Session, .zone = kBerlin}, {u"s1:1"_s, u"s0:2"_s, u"s2:3"_s}},
        {"sessions in one day", {.kind = K::Session, .zone = kBerlin, .since = mar29, .until = mar29}, {u"s2:2"_s}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(summary(buildReport(events, c.options, now).rows), c.rows) << c.name;
    const Report days = buildReport(events, cases[0].options, now);
    EXPECT_EQ(days.rows[3].end.toMSecsSinceEpoch() - days.rows[3].start.toMSecsSinceEpoch(), 23 * kHour);
    EXPECT_EQ(days.total.totals.requests, 6);
    const Report sessions = buildReport(events, cases[9].options, now);
    EXPECT_EQ(sessions.rows[2].project, u"app"); // its first request's
    EXPECT_EQ(sessions.rows[2].start.toMSecsSinceEpoch(), at("2026-03-28T23:30:00Z"));
    // The page's month view: 30 days per provider ending today, 6 months ending this one with the
    // quiet ones at zero.
    const ComputerMonth month = ComputerMonth::build(events, now, kBerlin);
    ASSERT_EQ(month.days.size(), 60u);
    EXPECT_EQ(month.days[0].name, u"3");     // March 3
    EXPECT_EQ(month.days.back().name, u"1"); // April 1, today
    EXPECT_EQ(month.days[53].name, u"29");   // ChatGPT on March 29
    EXPECT_EQ(month.days[53].provider, AIProvider::ChatGPT);
    EXPECT_EQ(month.days[53].tokens, 60);
    EXPECT_EQ(summary(month.months), (QStringList{u"2025-11:0"_s, u"2025-12:0"_s, u"2026-01:1"_s, u"2026-02:1"_s,
                                                  u"2026-03:4"_s, u"2026-04:0"_s}));
}

// Blocks start on the hour of their first request and last 5 hours; a request at or after the
// end opens the next. The provider's running window gives the open block its own bounds and
// cuts the guessed block before it short.
TEST(ReportTest, Blocks)
{
    struct Case
    {
        const char* name;
        std::vector<Request> requests;
        const char* now;
        QList<ProviderMetric> metrics;
        QStringList rows; ///< "start end requests [open] [percent]" in UTC
    };
    const QDateTime resets = QDateTime::fromMSecsSinceEpoch(at("2026-03-10T17:30:00Z"), Qt::UTC);
    const ProviderMetric session{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, resets, 18000};
    ProviderMetric passed = session;
    passed.resetsAt = resets.addSecs(-6 * 3600);
    const Case cases[] = {
        {"gap",
         {{"2026-03-10T10:15:00Z"}, {"2026-03-10T11:00:00Z"}, {"2026-03-10T15:00:00Z"}, {"2026-03-10T20:30:00Z"}},
         "2026-03-11T12:00:00Z",
         {},
         {u"10:00 15:00 2"_s, u"15:00 20:00 1"_s, u"20:00 01:00 1"_s}},
        {"over midnight",
         {{"2026-03-10T22:30:00Z"}, {"2026-03-11T01:00:00Z"}},
         "2026-03-11T02:00:00Z",
         {},
         {u"22:00 03:00 2 open"_s}},
        {"official window",
         {{"2026-03-10T10:15:00Z"},
          {"2026-03-10T12:00:00Z"},
          {"2026-03-10T13:00:00Z"},
          {"2026-03-10T13:10:00Z", 1, AIProvider::ChatGPT}},
         "2026-03-10T14:00:00Z",
         {session},
         {u"10:00 12:30 2"_s, u"12:30 17:30 1 open 42"_s, u"13:00 18:00 1 open"_s}},
        {"reset passed", {{"2026-03-10T13:00:00Z"}}, "2026-03-10T14:00:00Z", {passed}, {u"13:00 18:00 1 open"_s}},
    };
    const ReportOptions options{.kind = ReportKind::Blocks, .zone = QTimeZone::utc()};
    for (const Case& c : cases) {
        const Report report =
            buildReport(eventsOf(c.requests), options, QDateTime::fromMSecsSinceEpoch(at(c.now)), c.metrics);
        QStringList rows;
        for (const ReportRow& row : report.rows) {
            QString text = row.start.toUTC().toString(u"HH:mm"_s) + u' ' + row.end.toUTC().toString(u"HH:mm"_s) + u' ' +
                           QString::number(row.totals.requests);
            if (row.open)
                text += u" open"_s;
            if (row.officialPercent)
                text += u' ' + QString::number(*row.officialPercent);
            rows << text;
        }
        EXPECT_EQ(rows, c.rows) << c.name;
    }
    // The gap case's first block: 120 tokens over the 45 minutes between its first and last request.
    const Report gap =
        buildReport(eventsOf(cases[0].requests), options, QDateTime::fromMSecsSinceEpoch(at(cases[0].now)));
    EXPECT_DOUBLE_EQ(gap.rows[0].burnRate().value_or(0), 120.0 / 45.0);
}

namespace {

using ReportScanTest = TranscriptTreeFixture;

std::vector<std::pair<EpochMs, std::int64_t>> timesAndOutputs(const std::vector<LocalUsageEvent>& events)
{
    std::vector<std::pair<EpochMs, std::int64_t>> out;
    for (const LocalUsageEvent& e : events)
        out.emplace_back(e.timestamp, e.outputTokens);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

// The one-shot scan counts what the app's scanner counts (streamed rows at their final output,
// an id copied to another transcript once, also when summed as read, a repeated Codex total
// once, sums that stop at the limit) on any number of threads; --since leaves older files
// closed; each file is a session.
TEST_F(ReportScanTest, CountsAsTheAppScanner)
{
    write(u"claude/projects/p/a.jsonl"_s, claudeLine({.id = "m1", .at = kNow - 3 * kHour, .output = 5}) +
                                              claudeLine({.id = "m1", .at = kNow - 3 * kHour, .output = 90}) +
                                              claudeLine({.id = "m2", .at = kNow - 2 * kHour, .output = 7}) +
                                              claudeLine({.id = "", .at = kNow - kHour, .cacheRead = INT64_MAX}));
    write(u"claude/projects/q/b.jsonl"_s, claudeLine({.id = "m2", .at = kNow - 2 * kHour, .output = 8}) +
                                              claudeLine({.id = "m1", .at = kNow - kHour, .output = 50}) +
                                              claudeLine({.id = "m3", .at = kNow - kHour, .output = 3}));
    const std::string total = R"({"input_tokens":100,"output_tokens":9})";
    write(u"codex/sessions/2026/r.jsonl"_s, codexMeta("session_meta", "/w/tool", "gpt-5-codex") +
                                                codexTokens(kNow - kHour, 100, 30, 9, total) +
                                                codexTokens(kNow - kHour + 1000, 100, 30, 9, total));
    write(u"claude/projects/p/old.jsonl"_s, claudeLine({.id = "o", .at = kNow - 9 * kDay, .output = 4}));
    for (const char* file : {"claude/projects/p/a.jsonl", "claude/projects/q/b.jsonl", "codex/sessions/2026/r.jsonl"})
        setModified(QString::fromLatin1(file), kNow - kHour);
    setModified(u"claude/projects/p/old.jsonl"_s, kNow - 9 * kDay);

    const std::vector<LocalUsageSource> sources{{AIProvider::Claude, claudeRoot()}, {AIProvider::ChatGPT, codexRoot()}};
    const auto expected = timesAndOutputs(makeScanner()->scanBlocking(kNow));
    ASSERT_EQ(expected.size(), 5u);
    for (const int threads : {1, 3}) {
        const ReportEvents report = scanForReport(sources, kNow - 8 * kDay, threads);
        std::vector<LocalUsageEvent> events;
        for (const ReportEvent& e : report.events)
            events.push_back(e.event);
        EXPECT_EQ(timesAndOutputs(events), expected) << threads;
        EXPECT_EQ(report.files, 4u);
        // m2 stays with a.jsonl, which had it first, at b.jsonl's larger output.
        const auto m2 = std::find_if(report.events.begin(), report.events.end(),
                                     [](const ReportEvent& e) { return e.event.outputTokens == 8; });
        ASSERT_NE(m2, report.events.end());
        EXPECT_EQ(report.sessions[m2->session].id, u"a");
        // Summed as read, the same: b.jsonl's m2 takes a.jsonl's (read again) off, its m1 does not.
        ReportOptions daily;
        daily.breakdown = true;
        PeriodReportSink sink(daily);
        EXPECT_EQ(scanIntoSink(sources, kNow - 8 * kDay, sink, threads).requests, 5u);
        const Report kept = buildReport(report, daily, QDateTime::fromMSecsSinceEpoch(kNow));
        EXPECT_EQ(summary(sink.report().rows), summary(kept.rows));
        EXPECT_EQ(sink.report().total.totals, kept.total.totals);
        EXPECT_EQ(sink.report().total.cost.usd, kept.total.cost.usd);
        EXPECT_EQ(kept.total.totals.cacheReadTokens, INT64_MAX);
    }
    EXPECT_EQ(scanForReport(sources).events.size(), 6u);
}
