// SPDX-License-Identifier: MIT
#include "refresh/UsageViewModel.h"
#include "history/HistoryStore.h"
#include "model/MenuBarLabelText.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "platform/TestServers.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/OutputCapture.h"
#include "widget_snapshot/ClaudeCodeLimits.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>

#include <qcoro/qcorotimer.h>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kClaudeBody = R"({"five_hour":{"utilization":42.5,"resets_at":"2026-01-05T17:00:00.477734+00:00"},)"
                               R"("seven_day":{"utilization":63,"resets_at":null}})";
const QByteArray kCodexBody =
    R"({"plan_type":"plus","rate_limit":{"primary_window":{"used_percent":12,"limit_window_seconds":18000,)"
    R"("reset_after_seconds":3600}}})";
const QByteArray kCopilotBody =
    R"({"copilot_plan":"individual","quota_reset_date":"2026-02-01","quota_snapshots":{)"
    R"("chat":{"unlimited":true},"premium_interactions":{"percent_remaining":25,"entitlement":300}}})";

/// The metric ids of a list of metrics or of a history snapshot's limits.
template <typename List> QStringList ids(const List& windows)
{
    QStringList result;
    for (const auto& window : windows)
        result.append(metricId(window.provider, window.kind));
    return result;
}

/// The lines of a captured log that match `pattern`.
QStringList logLines(const QByteArray& output, const QString& pattern)
{
    return QString::fromUtf8(output).split(u'\n').filter(QRegularExpression(pattern));
}

qsizetype claudePoints(const UsageViewModel& model)
{
    return std::count_if(model.history().begin(), model.history().end(),
                         [](const UsageSnapshot& s) { return s.limits.first().provider == AIProvider::Claude; });
}

} // namespace

class UsageViewModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.start());
        for (const char* name : {"TALLYVUE_CLAUDE_API", "TALLYVUE_CHATGPT_API", "TALLYVUE_COPILOT_API"})
            qputenv(name, m_server.origin().toUtf8());
        qputenv("CLAUDE_CODE_OAUTH_TOKEN", "claude-token");
        writeFile(QDir::homePath() + u"/.codex/auth.json"_s, R"({"tokens":{"access_token":"codex-token"}})");
        writeFile(QDir::homePath() + u"/.config/github-copilot/apps.json"_s,
                  R"({"github.com:Iv1":{"oauth_token":"copilot-token"}})");
        m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(200, kClaudeBody));
        m_server.setResponse("/backend-api/wham/usage", ScriptedResponse::json(200, kCodexBody));
        m_server.setResponse("/copilot_internal/user", ScriptedResponse::json(200, kCopilotBody));
        QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear();
        HistoryStore::clear();
        QFile::remove(*widgetSnapshotPath());
        QFile::remove(*claudeCodeLimitsPath());
        QDir(QDir::homePath() + u"/.codex/sessions"_s).removeRecursively();
    }

    /// A coordinator without its loops, on a clock the test moves.
    std::unique_ptr<UsageViewModel> makeModel()
    {
        return std::make_unique<UsageViewModel>(
            UsageViewModel::Options{.startLoops = false, .clock = [this] { return m_now; }});
    }

    HttpServer m_server;
    QDateTime m_now = *parseTimestamp(u"2026-01-05T14:00:00Z"_s);
};

// One refresh fetches all three providers, then records the history and writes the snapshot
// from the metrics in provider order. Stored badges that hold a bare Claude kind are repaired,
// unknown ones left alone, and the snapshot's primary metric follows the first badge.
TEST_F(UsageViewModelTest, RefreshRunsEveryStep)
{
    Preferences& preferences = Preferences::instance();
    preferences.setSelectedMenuBadge(u"weekly_all"_s);
    preferences.setSecondaryMenuBadge(u"nothing"_s);
    preferences.setQuotaDisplayMode(QuotaDisplayMode::Remaining);
    auto model = makeModel();
    QCoro::waitFor(model->refresh(true));

    EXPECT_FALSE(model->errorMessage());
    EXPECT_FALSE(model->codexError());
    EXPECT_FALSE(model->copilotError());
    EXPECT_EQ(model->lastUpdated(), m_now);
    const QStringList all{u"Claude:session"_s, u"Claude:weekly_all"_s, u"ChatGPT:primary"_s,
                          u"Copilot:premium_interactions"_s};
    EXPECT_EQ(ids(model->allMetrics()), all);
    EXPECT_EQ(model->metric(u"Copilot:premium_interactions")->percent, 75);
    EXPECT_FALSE(model->metric(u"premium_interactions"));
    EXPECT_EQ(preferences.selectedMenuBadge(), u"Claude:weekly_all");
    EXPECT_EQ(preferences.secondaryMenuBadge(), u"nothing");

    ASSERT_EQ(model->history().size(), 1);
    EXPECT_EQ(model->history()[0].limits.size(), 4);
    EXPECT_EQ(model->history()[0].timestamp, m_now);
    const auto snapshot = decodeWidgetSnapshot(readFile(*widgetSnapshotPath()));
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(ids(snapshot->metrics), all);
    EXPECT_EQ(snapshot->primaryMetricID, u"Claude:weekly_all"_s);
    EXPECT_EQ(snapshot->displayMode, QuotaDisplayMode::Remaining);
    EXPECT_EQ(m_server.requests().size(), 3);
}

// A non-forced refresh is skipped while the last Claude success is younger than the
// interval's minimum age, and runs after the clock was set back behind the last success.
TEST_F(UsageViewModelTest, RateLimitProtection)
{
    Preferences::instance().setRefreshIntervalMinutes(5);
    auto model = makeModel();
    QCoro::waitFor(model->refresh(true));
    m_server.clearRequests();

    m_now = m_now.addSecs(149);
    QCoro::waitFor(model->refresh(false));
    EXPECT_TRUE(m_server.requests().isEmpty());

    m_now = m_now.addSecs(1);
    QCoro::waitFor(model->refresh(false));
    EXPECT_EQ(m_server.requests().size(), 3);

    m_now = m_now.addSecs(-3600);
    QCoro::waitFor(model->refresh(false));
    EXPECT_EQ(m_server.requests().size(), 6);
}

// A Claude 401 re-reads the token and retries once; a success leaves no error and logs
// exactly the two retry lines.
TEST_F(UsageViewModelTest, RetriesOnceAfterUnauthorized)
{
    m_server.queueResponse("/api/oauth/usage", ScriptedResponse::json(401, R"({"error":"expired"})"));
    auto model = makeModel();
    OutputCapture output;
    QCoro::waitFor(model->refresh(true));
    EXPECT_FALSE(model->errorMessage());
    EXPECT_TRUE(model->usage());
    EXPECT_EQ(
        logLines(output.text(), u"401|Retry|Usage refreshed"_s),
        (QStringList{u"[Tallyvue] Got 401, re-reading token and retrying..."_s, u"[Tallyvue] Retry succeeded"_s}));

    m_server.queueResponse("/api/oauth/usage", ScriptedResponse::json(401, "a"));
    m_server.queueResponse("/api/oauth/usage", ScriptedResponse::json(401, "b"));
    OutputCapture retryOutput;
    QCoro::waitFor(model->refresh(true));
    EXPECT_TRUE(
        retryOutput.text().contains("[Tallyvue] Retry failed: invalidResponse(statusCode: 401, body: \"b\")\n"));
    EXPECT_EQ(model->errorMessage(), u"API returned HTTP 401: b"_s);
    EXPECT_TRUE(model->usage()); // the last good record stays
    // Shown above the error, which stays as it is; the held values are last values, not current.
    EXPECT_EQ(model->notice(AIProvider::Claude)->headline,
              u"Claude sign-in has expired. Run `claude` and log in again, then refresh."_s);
    ASSERT_TRUE(model->lastGood(AIProvider::Claude));
    EXPECT_EQ(model->lastGood(AIProvider::Claude)->metrics.size(), 2);
}

// A 429 says when the next try is and its Retry-After is honoured, even by a forced refresh;
// meanwhile the last values stay on show, as last values.
TEST_F(UsageViewModelTest, RateLimitedProviderWaits)
{
    auto model = makeModel();
    QCoro::waitFor(model->refresh(true));
    const QDateTime succeeded = m_now;
    ScriptedResponse limited = ScriptedResponse::json(429, R"({"error":"rate_limited"})");
    limited.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("1800")));
    m_server.setResponse("/api/oauth/usage", limited);
    m_now = m_now.addSecs(60);
    QCoro::waitFor(model->refresh(true));

    const auto notice = model->notice(AIProvider::Claude);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->kind, ProviderNotice::Kind::RateLimited);
    EXPECT_EQ(notice->nextTry, m_now.addSecs(1800));
    EXPECT_TRUE(notice->headline.startsWith(u"Claude is limiting how often usage can be read. Next try at "_s));
    EXPECT_EQ(model->lastGood(AIProvider::Claude)->asOf, succeeded);
    // The snapshot does not pass the held Claude figures off as current.
    EXPECT_EQ(decodeWidgetSnapshot(readFile(*widgetSnapshotPath()))->timestamp, succeeded);

    m_server.clearRequests();
    m_now = m_now.addSecs(1799);
    QCoro::waitFor(model->refresh(true));
    EXPECT_EQ(m_server.requests().size(), 2); // ChatGPT and Copilot only
    EXPECT_EQ(model->errorMessage(), u"API returned HTTP 429: {\"error\":\"rate_limited\"}"_s);
    m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(200, kClaudeBody));
    m_now = m_now.addSecs(1);
    QCoro::waitFor(model->refresh(true));
    EXPECT_EQ(m_server.requests().size(), 5);
    EXPECT_FALSE(model->notice(AIProvider::Claude));
    EXPECT_FALSE(model->lastGood(AIProvider::Claude));
}

// While Claude fails, the figures Claude Code last stored stand in for its service, marked as
// such, when they are newer than the last success and no window has reset since; they are
// recorded once per value, and the next good answer replaces them.
TEST_F(UsageViewModelTest, ClaudeCodeFiguresStandInWhileClaudeFails)
{
    auto model = makeModel();
    QCoro::waitFor(model->refresh(true));
    const QDateTime succeeded = m_now;
    m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(429, R"({"error":"rate_limited"})"));
    const struct
    {
        const char* name;
        qint64 age;         ///< of the stored figures, at the refresh
        qint64 resetsAfter; ///< the five-hour window's reset, after the refresh
        bool standsIn;
    } cases[] = {
        {"older than the last success", 6 * 60, 3600, false},
        {"a window reset since", 60, -60, false},
        {"newer, windows current", 60, 3600, true},
        {"the same value, stored later", 120, 3600, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_now = succeeded.addSecs(5 * 60);
        const QDateTime asOf = m_now.addSecs(-c.age);
        writeFile(*claudeCodeLimitsPath(),
                  R"({"timestamp":")" + formatWholeSecondTimestamp(asOf).toLatin1() +
                      R"(","rate_limits":{"five_hour":{"used_percentage":71,"resets_at":)" +
                      QByteArray::number(m_now.addSecs(c.resetsAfter).toSecsSinceEpoch()) + "}}}");
        QCoro::waitFor(model->refresh(true));
        ASSERT_EQ(model->source(AIProvider::Claude).has_value(), c.standsIn);
        EXPECT_EQ(model->errorMessage().has_value(), !c.standsIn);
        EXPECT_EQ(model->lastGood(AIProvider::Claude).has_value(), !c.standsIn);
        const auto snapshot = decodeWidgetSnapshot(readFile(*widgetSnapshotPath()));
        ASSERT_TRUE(snapshot);
        if (!c.standsIn) {
            EXPECT_FALSE(snapshot->sources[0]);
            continue;
        }
        EXPECT_EQ(model->source(AIProvider::Claude)->asOf, asOf);
        EXPECT_EQ(figureSourceText(*model->source(AIProvider::Claude), m_now), u"from Claude Code, "_s +
                  QString::number(c.age / 60) + u" min ago"_s);
        EXPECT_EQ(model->metrics(AIProvider::Claude).size(), 1);
        EXPECT_EQ(model->labelMetrics(AIProvider::Claude).first().percent, 71);
        EXPECT_EQ(snapshot->sources[0], model->source(AIProvider::Claude));
        EXPECT_EQ(snapshot->timestamp, asOf);
        EXPECT_EQ(claudePoints(*model), 2); // the service's answer, then 71 once
    }
    {
        // A restart reads the same figures again: the history already ends with them.
        auto restarted = makeModel();
        QCoro::waitFor(restarted->refresh(true));
        ASSERT_TRUE(restarted->source(AIProvider::Claude));
        EXPECT_EQ(claudePoints(*restarted), 2);
    }

    m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(200, kClaudeBody));
    QCoro::waitFor(model->refresh(true));
    EXPECT_FALSE(model->source(AIProvider::Claude));
    EXPECT_EQ(model->metrics(AIProvider::Claude).first().percent, 42.5);
    EXPECT_FALSE(decodeWidgetSnapshot(readFile(*widgetSnapshotPath()))->sources[0]);
}

// Without a usable Codex login, the newest figures of the Codex logs stand in for ChatGPT, with
// a hint that a file-based login gives live figures; figures whose window has reset since do not.
TEST_F(UsageViewModelTest, CodexLogFiguresStandInWithoutALogin)
{
    QFile::remove(QDir::homePath() + u"/.codex/auth.json"_s);
    QFile log(QDir::homePath() + u"/.codex/sessions/2026/01/05/rollout-1.jsonl"_s);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(log).path()) && log.open(QIODevice::Append));
    const auto addLine = [&log](const QDateTime& at, const QDateTime& resetsAt) {
        log.write(R"({"timestamp":")" + formatWholeSecondTimestamp(at).toLatin1() +
                  R"(","type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":{)"
                  R"("limit_id":"codex","primary":{"used_percent":31.0,"window_minutes":300,"resets_at":)" +
                  QByteArray::number(resetsAt.toSecsSinceEpoch()) + R"(},"secondary":null,"plan_type":"pro"}}})" +
                  "\n");
        log.flush();
    };
    addLine(m_now.addSecs(-900), m_now.addSecs(-60));
    auto model = makeModel();
    QCoro::waitFor(model->refresh(true));
    EXPECT_FALSE(model->source(AIProvider::ChatGPT));
    EXPECT_TRUE(model->codexError());

    addLine(m_now.addSecs(-720), m_now.addSecs(3600));
    QCoro::waitFor(model->refresh(true));
    const auto& source = model->source(AIProvider::ChatGPT);
    ASSERT_TRUE(source);
    EXPECT_EQ(figureSourceText(*source, m_now), u"from Codex's log, 12 min ago"_s);
    EXPECT_EQ(source->hint, u"Signing in to Codex with a file-based login gives live figures."_s);
    EXPECT_FALSE(model->codexError());
    ASSERT_EQ(model->metrics(AIProvider::ChatGPT).size(), 1);
    EXPECT_EQ(model->metrics(AIProvider::ChatGPT).first().id(), u"ChatGPT:primary"_s);
    EXPECT_EQ(model->metrics(AIProvider::ChatGPT).first().resetsAt, m_now.addSecs(3600));
    EXPECT_EQ(decodeWidgetSnapshot(readFile(*widgetSnapshotPath()))->sources[1]->id, u"codex-log"_s);
}

// A ChatGPT failure drops its metrics; a Copilot or Claude failure keeps the last record and
// shows the error. Either way a provider that failed records nothing in that refresh's history
// snapshot: its last values are not written again as if they were new.
TEST_F(UsageViewModelTest, ProviderFailuresStayApart)
{
    auto model = makeModel();
    QCoro::waitFor(model->refresh(true));
    m_server.setResponse("/backend-api/wham/usage", ScriptedResponse::json(500, "down"));
    m_server.setResponse("/copilot_internal/user", ScriptedResponse::json(502, "bad gateway"));
    m_now = m_now.addSecs(600);
    QCoro::waitFor(model->refresh(true));

    EXPECT_EQ(model->codexError(), u"API returned HTTP 500: down"_s);
    EXPECT_EQ(model->copilotError(), u"API returned HTTP 502: bad gateway"_s);
    EXPECT_TRUE(model->metrics(AIProvider::ChatGPT).isEmpty());
    EXPECT_EQ(model->metrics(AIProvider::Copilot).size(), 1);
    ASSERT_EQ(model->history().size(), 2);
    // Both keep their last values for the popover and the label, dropped record or not.
    for (const AIProvider provider : {AIProvider::ChatGPT, AIProvider::Copilot}) {
        ASSERT_TRUE(model->lastGood(provider)) << rawValue(provider).toStdString();
        EXPECT_EQ(model->lastGood(provider)->metrics.size(), 1);
        EXPECT_EQ(model->lastGood(provider)->asOf, m_now.addSecs(-600)); // the last answer, not the failure
        EXPECT_EQ(model->notice(provider)->kind, ProviderNotice::Kind::Failed);
    }
    EXPECT_EQ(model->labelMetrics(AIProvider::Claude).size(), 4);
    // Once a window has ended, its last value is gone too.
    m_now = m_now.addSecs(18001);
    EXPECT_FALSE(model->lastGood(AIProvider::ChatGPT));

    m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(500, "claude down"));
    m_server.setResponse("/backend-api/wham/usage", ScriptedResponse::json(200, kCodexBody));
    m_now = m_now.addSecs(600);
    QCoro::waitFor(model->refresh(true));
    EXPECT_EQ(model->errorMessage(), u"API returned HTTP 500: claude down"_s);
    EXPECT_EQ(model->metrics(AIProvider::Claude).size(), 2); // still shown

    ASSERT_EQ(model->history().size(), 3);
    EXPECT_EQ(ids(model->history()[1].limits), (QStringList{u"Claude:session"_s, u"Claude:weekly_all"_s}));
    EXPECT_EQ(ids(model->history()[2].limits), QStringList{u"ChatGPT:primary"_s});
}

// A history the app cannot write or delete is logged in one line each time; the history in
// memory stays as it was.
TEST_F(UsageViewModelTest, StorageFailuresAreLoggedAndKeepTheHistory)
{
    auto model = makeModel();
    QCoro::waitFor(model->refresh(true));
    ASSERT_EQ(model->history().size(), 1);
    const QString path = HistoryStore::filePath();
    ASSERT_TRUE(QFile::rename(path, path + u".elsewhere"_s) && QFile::link(path + u".elsewhere"_s, path));

    OutputCapture output;
    m_now = m_now.addSecs(600);
    QCoro::waitFor(model->refresh(true));
    model->clearHistory();
    EXPECT_EQ(logLines(output.text(), u"History"_s),
              (QStringList{u"[Tallyvue] History not recorded: cannot read "_s + path + u": it is a symbolic link"_s,
                           u"[Tallyvue] History not cleared: cannot delete "_s + path + u": it is a symbolic link"_s}));
    EXPECT_EQ(model->history().size(), 1);
    EXPECT_EQ(model->storageErrors().size(), 1);
    EXPECT_EQ(readFile(path + u".elsewhere"_s).count('\n'), 1);
    QFile::remove(path);
}

// When no provider delivers, nothing stored is touched: no history line, no snapshot.
TEST_F(UsageViewModelTest, TotalFailureLosesNothing)
{
    HistoryStore::record({{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 10, std::nullopt, 18000}},
                         m_now.addSecs(-60));
    writeFile(*widgetSnapshotPath(), "previous");
    const QByteArray history = readFile(HistoryStore::filePath());

    qunsetenv("CLAUDE_CODE_OAUTH_TOKEN");
    QFile::remove(QDir::homePath() + u"/.codex/auth.json"_s);
    m_server.setResponse("/copilot_internal/user", ScriptedResponse::json(401, "Bad credentials"));
    auto model = makeModel();
    OutputCapture output;
    QCoro::waitFor(model->refresh(true));
    // The log names each error by its case; the user sees its description.
    const QByteArray log = output.text();
    for (const char* line : {"[Tallyvue] Error: keychainNotFound\n", "[Tallyvue] Codex error: configFileNotFound\n",
                             "[Tallyvue] Copilot error: invalidResponse(statusCode: 401, body: \"Bad credentials\")\n"})
        EXPECT_TRUE(log.contains(line)) << log.constData();

    EXPECT_EQ(model->errorMessage(), u"OAuth token not found. Run 'claude' to authenticate first."_s);
    EXPECT_EQ(model->codexError(), u"Credentials file not found."_s);
    EXPECT_EQ(model->copilotError(), u"API returned HTTP 401: Bad credentials"_s);
    // Each says what to do, naming the file looked for and what creates it.
    EXPECT_EQ(
        model->notice(AIProvider::ChatGPT)->headline,
        u"Not signed in to ChatGPT / Codex. Tallyvue looks for ~/.codex/auth.json, which `codex login` creates."_s);
    EXPECT_EQ(model->notice(AIProvider::Claude)->kind, ProviderNotice::Kind::NotSignedIn);
    EXPECT_EQ(model->notice(AIProvider::Copilot)->headline,
              u"GitHub Copilot sign-in has expired. Sign in again in your editor's Copilot extension."_s);
    // The history keeps what the last run saw.
    ASSERT_TRUE(model->lastGood(AIProvider::Claude));
    EXPECT_EQ(model->lastGood(AIProvider::Claude)->asOf, m_now.addSecs(-60));
    EXPECT_EQ(model->labelMetrics(AIProvider::Claude).size(), 1);
    EXPECT_TRUE(model->allMetrics().isEmpty());
    EXPECT_EQ(readFile(HistoryStore::filePath()), history);
    EXPECT_EQ(readFile(*widgetSnapshotPath()), "previous");
    EXPECT_EQ(model->history().size(), 1);
    EXPECT_FALSE(model->isLoading());
}

namespace {

/// Holds the loop's pauses until the test lets them all go at once (by counting `releases` up).
/// It polls rather than awaiting a QTimer's timeout: that signal's private argument trips
/// UBSan inside QCoro's signal awaiter.
QCoro::Task<> heldPause(std::shared_ptr<const int> releases)
{
    const int seen = *releases;
    while (*releases == seen)
        co_await QCoro::sleepFor(std::chrono::milliseconds(2));
}

} // namespace

// A new interval, however it is stored, restarts the loop at once with a forced refresh and
// the new pause; the old loop ends at its next wake-up without refreshing again.
TEST_F(UsageViewModelTest, IntervalChangeRestartsTheLoop)
{
    auto releases = std::make_shared<int>(0);
    QList<std::chrono::seconds> pauses;
    auto model = std::make_unique<UsageViewModel>(
        UsageViewModel::Options{.startLoops = true, .clock = [this] { return m_now; }});
    // The first refresh waits for the event loop, so the first pause is already held.
    model->setLoopSleep([&pauses, releases](std::chrono::seconds pause) {
        pauses.append(pause);
        return heldPause(releases);
    });
    ASSERT_TRUE(waitUntil([&] { return pauses.size() == 1; }));
    EXPECT_EQ(m_server.requests().size(), 3);
    EXPECT_EQ(pauses.first(), std::chrono::seconds(600));

    Preferences::instance().setRefreshIntervalMinutes(2);
    ASSERT_TRUE(waitUntil([&] { return pauses.size() == 2; }));
    EXPECT_EQ(m_server.requests().size(), 6); // forced, although the last success is 0 s old
    EXPECT_EQ(pauses.last(), std::chrono::seconds(120));

    // Both loops wake; only the new one goes on (its refresh is held back by the minimum age).
    OutputCapture output;
    ++*releases;
    ASSERT_TRUE(waitUntil([&] { return pauses.size() == 3; }));
    settle(100);
    EXPECT_EQ(output.text(), "[Tallyvue] Rate limit protection: Skipping fetch, updated recently.\n");
    EXPECT_EQ(pauses.size(), 3);
    EXPECT_EQ(m_server.requests().size(), 6);

    // The loop still waiting ends once it wakes without its coordinator.
    model.reset();
    ++*releases;
    settle(50);
    EXPECT_EQ(pauses.size(), 3);
}
