// SPDX-License-Identifier: MIT
// `tallyvue-cli statusline` as Claude Code runs it, and its edits of Claude Code's settings.
#include "cli/CliSupport.h"
#include "widget_snapshot/ClaudeCodeLimits.h"

namespace {

QByteArray limitsInput(double fiveHour, qint64 fiveHourReset)
{
    return R"({"session_id":"s","rate_limits":{"five_hour":{"used_percentage":)" + QByteArray::number(fiveHour) +
           R"(,"resets_at":)" + QByteArray::number(fiveHourReset) +
           R"(},"seven_day":{"used_percentage":82,"resets_at":4102444800}},"model":{"display_name":"Opus 4.6"},)"
           R"("cost":{"total_cost_usd":1.8412},"context_window":{"used_percentage":45.2}})";
}

QByteArray snapshotAged(qint64 seconds)
{
    return snapshotOf({{u"Claude"_s, u"session"_s, u"5-Hour"_s, 40},
                       {u"ChatGPT"_s, u"primary"_s, u"5-Hour"_s, 31},
                       {u"ChatGPT"_s, u"secondary"_s, u"Weekly"_s, 12}},
                      u"used"_s, seconds);
}

} // namespace

// Whatever Claude Code pipes in, one line and status 0; stdin's windows win over the snapshot,
// which counts only while it is current.
TEST_F(CliTest, StatuslineInputs)
{
    const qint64 later = 4102444800; // 2100
    const QByteArray full = limitsInput(23.5, later);
    const QByteArray huge = R"({"pad":")" + QByteArray(10 * 1024 * 1024, 'x') + R"(","rate_limits":)" +
                            R"({"five_hour":{"used_percentage":5}}})";
    const QByteArray session = R"({"model":{"display_name":"Opus 4.6"}})";
    const QByteArray control = R"({"model":{"display_name":"\u001b]0;x\u0007Opus\n4"}})";
    const QByteArray wrongTypes = R"({"rate_limits":{"five_hour":{"used_percentage":"9"}},"model":[],"cost":1})";
    const QByteArray fresh = snapshotAged(30);
    const struct
    {
        const char* name;
        QByteArray input;
        const char* args;
        QByteArray snapshot;
        QString line;
    } cases[] = {
        {"full object", full, "", {}, u"5h 23% · 7d 82% │ Opus 4.6 · $1.84"_s},
        {"compact", full, "--compact --segments context,claude,cost", {}, u"ctx45%│5h23% 7d82%│$1.84"_s},
        {"only five_hour", R"({"rate_limits":{"five_hour":{"used_percentage":64.9}}})", "", {}, u"5h 64%"_s},
        {"over 100", limitsInput(250, later), "--segments=claude", {}, u"5h 100% · 7d 82%"_s},
        {"reset in the past", limitsInput(90, 1700000000), "--segments=claude", {}, u"5h 0% · 7d 82%"_s},
        {"control characters", control, "", {}, u"\ufffd]0;x\ufffdOpus 4"_s},
        {"members of the wrong type", wrongTypes, "", {}, u""_s},
        {"stdin wins over the snapshot", full, "--segments=claude,codex", fresh, u"5h 23% · 7d 82% │ Codex 31%"_s},
        {"no rate_limits: the snapshot", session, "", fresh, u"5h 40% │ Codex 31% │ Opus 4.6"_s},
        {"stale snapshot", session, "", snapshotAged(3 * 86400), u"Opus 4.6"_s},
        {"not JSON", "{\"rate_limits\": ", "", fresh, u"5h 40% │ Codex 31%"_s},
        {"10 MB", huge, "", {}, u""_s},
        {"empty", "", "", {}, u""_s},
        {"unknown option", full, "--segments=claude,weather", {}, u"5h 23% · 7d 82% │ Opus 4.6 · $1.84"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(*widgetSnapshotPath());
        if (!c.snapshot.isEmpty())
            writeFile(*widgetSnapshotPath(), c.snapshot);
        const QStringList args = QString::fromLatin1(c.args).split(u' ', Qt::SkipEmptyParts);
        const CliRun run =
            cli(QStringList{u"statusline"_s} + args, {.input = c.input, .environment = {u"NO_COLOR=1"_s}});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, c.line + u'\n');
    }
    EXPECT_EQ(cli({u"statusline"_s}, {.input = full}).out,
              u"5h \x1b[32m23%\x1b[0m · 7d \x1b[31m82%\x1b[0m │ Opus 4.6 · $1.84\n"_s);
}

// --install and --uninstall change only the status line and keep the rest of the file as it was;
// they refuse another program's line without --force, and a file that is not JSON.
TEST_F(CliTest, StatuslineInstall)
{
    const QString settings = QDir::homePath() + u"/.claude/settings.json"_s;
    const QByteArray ours = R"({"type": "command", "command": ")" TALLYVUE_CLI_PATH R"( statusline", "padding": 0})";
    const QByteArray other = R"({"type": "command", "command": "~/bin/line.sh"})";
    const QByteArray tools = "{\n    \"model\": \"opus\",\n    \"hooks\": {\"Stop\": [{\"matcher\": \"}\"}]}\n}\n";
    const QByteArray toolsAfter =
        "{\n    \"model\": \"opus\",\n    \"hooks\": {\"Stop\": [{\"matcher\": \"}\"}]},\n    \"statusLine\": " + ours +
        "\n}\n";
    const QByteArray withOther = "{\"statusLine\": " + other + ", \"x\": 1}\n";
    const struct
    {
        const char* name;
        std::optional<QByteArray> before;
        const char* args;
        int status;
        std::optional<QByteArray> after; ///< nothing: unchanged
    } cases[] = {
        {"no file", std::nullopt, "--install", 0, "{\n  \"statusLine\": " + ours + "\n}\n"},
        {"other tools' settings", tools, "--install", 0, toolsAfter},
        {"one line", R"({"a":[1,{"b":"\""}]})", "--install", 0,
         R"({"a":[1,{"b":"\""}], "statusLine": )" + ours + "}\n"},
        {"another status line", withOther, "--install", 1, std::nullopt},
        {"another one, forced", withOther, "--install --force", 0, "{\"statusLine\": " + ours + ", \"x\": 1}\n"},
        {"not JSON", "{\"model\": \"opus\",}\n", "--install", 1, std::nullopt},
        {"not an object", "[]", "--install --force", 1, std::nullopt},
        {"uninstall", "{\"x\": 1, \"statusLine\": " + ours + ", \"y\": 2}\n", "--uninstall", 0,
         "{\"x\": 1, \"y\": 2}\n"},
        {"uninstall the last", "{\n  \"x\": 1,\n  \"statusLine\": " + ours + "\n}\n", "--uninstall", 0,
         "{\n  \"x\": 1\n}\n"},
        {"bad option", "{}", "--compact=1 --install", 2, std::nullopt},
        {"uninstall another's", "{\"statusLine\": " + other + "}", "--uninstall", 1, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(QDir::homePath() + u"/.claude"_s).removeRecursively();
        if (c.before)
            writeFile(settings, *c.before);
        const CliRun run = cli(QStringList{u"statusline"_s} + QString::fromLatin1(c.args).split(u' '));
        EXPECT_EQ(run.exitCode, c.status) << run.err.toStdString();
        EXPECT_EQ(QFile::exists(settings) ? readFile(settings) : "missing",
                  c.after.value_or(c.before.value_or("missing")))
            << run.out.toStdString();
    }

    // A settings file linked from a dotfiles folder is edited where it lives.
    const QString real = QDir::homePath() + u"/dotfiles/claude.json"_s;
    writeFile(real, "{}");
    QFile::remove(settings);
    QFile::link(real, settings);
    EXPECT_EQ(cli({u"statusline"_s, u"--install"_s}).exitCode, 0);
    EXPECT_TRUE(QFileInfo(settings).isSymLink());
    EXPECT_EQ(readFile(real), "{\n  \"statusLine\": " + ours + "\n}\n");
}

// fetch and status name the source when Claude Code's figures stand in for a failing service.
TEST_F(CliTest, FetchUsesClaudeCodeFiguresWhenClaudeFails)
{
    m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(429, "{}"));
    const QDateTime asOf = QDateTime::currentDateTimeUtc().addSecs(-180);
    writeFile(*claudeCodeLimitsPath(),
              R"({"timestamp":")" + formatWholeSecondTimestamp(asOf).toLatin1() +
                  R"(","rate_limits":{"five_hour":{"used_percentage":64,"resets_at":4102444800}}})");
    CliRun run = cli({u"fetch"_s});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(u"Claude   5-Hour   64%  resets in "_s)) << run.out.toStdString();
    EXPECT_TRUE(run.out.section(u'\n', 0, 0).endsWith(u"  (from Claude Code, 3 min ago)"_s)) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(u"Claude error"_s));

    run = cli({u"fetch"_s, u"--json"_s});
    const QJsonObject metric = QJsonDocument::fromJson(run.out.toUtf8())[u"metrics"][0].toObject();
    EXPECT_EQ(metric[u"source"].toString(), u"claude-code");
    EXPECT_EQ(metric[u"sourceAsOf"].toString(), formatWholeSecondTimestamp(asOf));
    const QJsonObject status = QJsonDocument::fromJson(cli({u"status"_s, u"--json"_s}).out.toUtf8()).object();
    EXPECT_EQ(status[u"metrics"][0][u"source"].toString(), u"claude-code");
}
