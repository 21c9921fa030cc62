// SPDX-License-Identifier: MIT
// Runs tallyvue-cli local against transcripts in a temporary home (TZ=Europe/Berlin).
#include "TranscriptFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

class LocalCommandTest : public TranscriptTreeFixture
{
protected:
    CliRun run(const QStringList& args, const QString& prices = {}) const
    {
        return runCli(QStringList{u"local"_s} + args, prices);
    }
};

} // namespace

// Bad options are usage errors; nothing to scan at all is exit code 1 with a plain note.
TEST_F(LocalCommandTest, ErrorsAndEmptyHome)
{
    for (const QStringList& args : {QStringList{u"--days"_s, u"0"_s}, QStringList{u"--days=9"_s},
                                    QStringList{u"--days"_s}, QStringList{u"--weeks"_s}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains("tallyvue-cli: "));
    }
    const CliRun empty = run({});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.out.contains("No Claude Code or Codex usage in the last 8 days"));
    // Nothing found says where it looked.
    for (const char16_t* folder : {u"/.claude/projects", u"/.codex/sessions"})
        EXPECT_TRUE(empty.out.contains((m_dir.path() + QString::fromUtf16(folder) + u" (does not exist)\n"_s).toUtf8()))
            << empty.out.toStdString();
}

// Rows per local day, provider and model, newest day last, with their cost at the prices
// TALLYVUE_PRICES names; a model without a price is counted apart, never guessed; --days narrows
// the printout only.
TEST_F(LocalCommandTest, PrintsLocalDaysAtListPrices)
{
    const QDate today = QDate::currentDate();
    const EpochMs midnight = today.startOfDay().toMSecsSinceEpoch();
    write(u".claude/projects/p/s.jsonl"_s,
          claudeLine({.id = "a",
                      .at = midnight + 60'000,
                      .input = 100'000,
                      .output = 20'000,
                      .cacheWrite = 300'000,
                      .cacheRead = 4'000'000,
                      .model = "claude-flat"}) +
              claudeLine({.id = "b", .at = midnight - 60'000, .input = 10, .model = "claude-x"}));
    write(u".codex/sessions/2026/r.jsonl"_s,
          codexMeta("session_meta", "/w/tool", "gpt-5-codex") + codexTokens(midnight + 120'000, 100'000, 30'000, 5000));
    write(u"prices.json"_s, kTestPrices);
    const QString prices = pathOf(u"prices.json"_s);

    const CliRun json = run({u"--json"_s}, prices);
    ASSERT_EQ(json.exitCode, 0) << json.err.constData();
    EXPECT_TRUE(json.err.contains("[Tallyvue] Local usage: 3 requests in the last 8 days from 2 transcripts"));
    EXPECT_TRUE(json.out.startsWith(R"({"files": 2, "events": 3, "daily": [)"));
    const QJsonObject root = QJsonDocument::fromJson(json.out).object();
    const QJsonArray daily = root[u"daily"_s].toArray();
    ASSERT_EQ(daily.size(), 3);
    const QString yesterday = today.addDays(-1).toString(Qt::ISODate);
    EXPECT_EQ(daily[0][u"date"_s].toString(), yesterday);
    EXPECT_EQ(daily[0][u"model"_s].toString(), u"claude-x");
    EXPECT_TRUE(daily[0][u"costUSD"_s].isNull());
    EXPECT_EQ(daily[1][u"date"_s].toString(), today.toString(Qt::ISODate));
    EXPECT_EQ(daily[1][u"cacheCreationTokens"_s].toInt(), 300'000);
    EXPECT_EQ(daily[2][u"model"_s].toString(), u"gpt-5-codex");
    EXPECT_EQ(daily[2][u"inputTokens"_s].toInt(), 70'000);
    EXPECT_EQ(daily[2][u"cacheReadTokens"_s].toInt(), 30'000);
    const double claude = (100'000 * 3 + 20'000 * 15 + 300'000 * 3.75 + 4'000'000 * 0.3) / 1e6; // $2.925
    const double codex = (70'000 * 1.25 + 30'000 * 0.125 + 5000 * 10) / 1e6;                    // $0.14125
    EXPECT_NEAR(daily[1][u"costUSD"_s].toDouble(), claude, 1e-12);
    EXPECT_NEAR(daily[2][u"costUSD"_s].toDouble(), codex, 1e-12);
    EXPECT_NEAR(root[u"costUSD"_s].toDouble(), claude + codex, 1e-12);
    EXPECT_EQ(root[u"unpricedRequests"_s].toInt(), 1);
    EXPECT_EQ(root[u"prices"_s][u"version"_s].toString(), u"1");

    const QJsonObject todayOnly = QJsonDocument::fromJson(run({u"--json"_s, u"--days=1"_s}).out).object();
    EXPECT_EQ(todayOnly[u"events"_s].toInt(), 2);
    EXPECT_EQ(todayOnly[u"daily"_s].toArray().size(), 2);

    const CliRun text = run({}, prices);
    EXPECT_TRUE(text.out.contains(yesterday.toLatin1())) << text.out.constData();
    EXPECT_TRUE(text.out.contains("$2.93")); // half a cent rounds up
    EXPECT_TRUE(text.out.contains("$0.14"));
    EXPECT_TRUE(text.out.contains("$3.07"));
    EXPECT_TRUE(text.out.contains("Cost at API list prices (test 1, 2026-01-01)."));
    EXPECT_TRUE(text.out.contains("Not priced: 1 request of models without a list price (claude-x)."));
    EXPECT_FALSE(run({u"--days"_s, u"1"_s}, prices).out.contains(yesterday.toLatin1()));

    // A broken override is reported, and the built-in prices are used: they know no claude-flat.
    write(u"prices.json"_s, "{");
    const CliRun broken = run({}, prices);
    EXPECT_EQ(broken.exitCode, 0);
    EXPECT_TRUE(broken.err.contains("(TALLYVUE_PRICES)")) << broken.err.constData();
    EXPECT_TRUE(broken.out.contains("Cost at API list prices (@pydantic/genai-prices "));
    EXPECT_TRUE(broken.out.contains("Not priced: 2 requests of models without a list price (claude-x, claude-flat)."))
        << broken.out.constData();
}
