// SPDX-License-Identifier: MIT
// Runs tallyvue-cli report against transcripts in a temporary home.
#include "TranscriptFixtures.h"

#include "widget_snapshot/WidgetSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

class ReportCommandTest : public TranscriptTreeFixture
{
protected:
    CliRun run(const QStringList& args) const
    {
        return runCli(QStringList{u"report"_s} + args, pathOf(u"prices.json"_s));
    }

    void SetUp() override { write(u"prices.json"_s, kTestPrices); }
};

} // namespace

// JSON rows carry the period key and the members of `local --json`; --breakdown gives one row
// per model whose sums are the total; 1-hour cache writes are priced at their own rate and a
// model without a price is counted apart; CSV has a header; the table fits 80 columns.
TEST_F(ReportCommandTest, JsonCsvAndTable)
{
    // 2026-01-10 in Berlin; the second request is on the 11th there but not in UTC.
    write(u".claude/projects/p/s.jsonl"_s,
          claudeLine({.id = "a",
                      .at = kNow,
                      .input = 1'000'000,
                      .output = 2'000'000,
                      .cacheWrite = 3'000'000,
                      .cacheRead = 987'654'321'000,
                      .model = "claude-flat",
                      .cacheCreation = R"({"ephemeral_1h_input_tokens":1000000})"}) +
              claudeLine({.id = "b", .at = kNow + 11 * kHour + 30 * 60'000, .input = 10, .model = "claude-x"}));

    const CliRun json = run({u"daily"_s, u"--json"_s, u"--breakdown"_s});
    ASSERT_EQ(json.exitCode, 0) << json.err.constData();
    const QJsonObject root = QJsonDocument::fromJson(json.out).object();
    const QJsonArray rows = root[u"rows"_s].toArray();
    ASSERT_EQ(rows.size(), 2) << json.out.constData();
    EXPECT_EQ(rows[0][u"date"_s].toString(), u"2026-01-10");
    EXPECT_EQ(rows[0][u"model"_s].toString(), u"claude-flat");
    // 1M input at $3, 2M output at $15, 2M 5-minute writes at $3.75, 1M 1-hour writes at $6, reads at $0.30.
    EXPECT_NEAR(rows[0][u"costUSD"_s].toDouble(), 3 + 30 + 7.5 + 6 + 987'654.321 * 0.3, 1e-6);
    EXPECT_EQ(rows[1][u"date"_s].toString(), u"2026-01-11");
    EXPECT_TRUE(rows[1][u"costUSD"_s].isNull());
    EXPECT_EQ(root[u"total"_s][u"requests"_s].toInt(), 2);
    EXPECT_EQ(root[u"total"_s][u"cacheReadTokens"_s].toInteger(), 987'654'321'040);
    EXPECT_EQ(root[u"unpricedRequests"_s].toInt(), 1);
    EXPECT_EQ(root[u"prices"_s][u"version"_s].toString(), u"1");

    const CliRun utc = run({u"daily"_s, u"--csv"_s, u"--timezone"_s, u"UTC"_s});
    EXPECT_EQ(utc.out.split('\n').value(0), "date,requests,inputTokens,outputTokens,cacheCreationTokens,"
                                            "cacheCreation1hTokens,cacheReadTokens,totalTokens,costUSD");
    EXPECT_TRUE(utc.out.split('\n').value(1).startsWith("2026-01-10,2,1000010,2000020,3000030,1000000,"))
        << utc.out.constData();

    const CliRun text = run({u"daily"_s, u"--breakdown"_s});
    ASSERT_EQ(text.exitCode, 0);
    for (const QString& line : QString::fromUtf8(text.out).split(u'\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
    EXPECT_FALSE(text.out.contains('\x1b'));
    EXPECT_TRUE(text.out.contains("  Flat ")) << text.out.constData();
    EXPECT_TRUE(text.out.contains("988B"));
    EXPECT_TRUE(text.out.contains("Cost at API list prices (test 1, 2026-01-01)."));
    EXPECT_TRUE(text.out.contains("Not priced: 1 request of models without a list price (claude-x)."));
}

// The open block takes the provider's own window and percent from the last snapshot.
TEST_F(ReportCommandTest, OpenBlockBesideTheOfficialWindow)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    write(u".claude/projects/p/s.jsonl"_s, claudeLine({.id = "a", .at = now.addSecs(-3600).toMSecsSinceEpoch()}));
    const QDateTime resets = now.addSecs(2 * 3600).toUTC();
    const WidgetSnapshot snapshot{now, {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, resets, 18000}}, {}, {}};
    write(u".local/share/K2V8R4NW7T.com.tallyvue.shared/widgetSnapshot.json"_s,
          encodeWidgetSnapshot(snapshot).toStdString());
    const CliRun json = run({u"blocks"_s, u"--json"_s});
    const QJsonObject block = QJsonDocument::fromJson(json.out)[u"rows"_s][0].toObject();
    EXPECT_TRUE(block[u"open"_s].toBool()) << json.out.constData();
    EXPECT_EQ(block[u"officialPercent"_s].toDouble(), 42);
    EXPECT_EQ(QDateTime::fromString(block[u"blockEnd"_s].toString(), Qt::ISODate).toSecsSinceEpoch(),
              resets.toSecsSinceEpoch());
}

// Bad input is a message on standard error and status 2; --help answers for each report.
TEST_F(ReportCommandTest, UsageErrorsAndHelp)
{
    const QStringList bad[] = {{},
                               {u"yearly"_s},
                               {u"daily"_s, u"--since"_s, u"2026-13-01"_s},
                               {u"daily"_s, u"--until=2026-1-1"_s},
                               {u"daily"_s, u"--since"_s},
                               {u"daily"_s, u"--timezone"_s, u"Mars/Olympus"_s},
                               {u"daily"_s, u"--json"_s, u"--csv"_s},
                               {u"daily"_s, u"--since"_s, u"2026-03-02"_s, u"--until"_s, u"2026-03-01"_s},
                               {u"weekly"_s, u"--start-of-week"_s, u"friday"_s},
                               {u"daily"_s, u"--start-of-week"_s, u"monday"_s},
                               {u"session"_s, u"--provider"_s, u"copilot"_s},
                               {u"blocks"_s, u"--json=yes"_s}};
    for (const QStringList& args : bad) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("tallyvue-cli report: ")) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty());
    }
    for (const QStringList& args : {QStringList{u"--help"_s}, QStringList{u"blocks"_s, u"-h"_s}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.startsWith("Usage: tallyvue-cli report ")) << args.join(u' ').toStdString();
    }
    const CliRun empty = run({u"daily"_s});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.out.startsWith("No Claude Code or Codex usage in this range (0 transcripts found).\nLooked in:\n  "))
        << empty.out.constData();
    EXPECT_TRUE(run({u"daily"_s, u"--json"_s}).out.endsWith("}\n")); // nothing after the object
}
