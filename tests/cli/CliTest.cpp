// SPDX-License-Identifier: MIT
// tallyvue-cli as a user runs it: a real process against a local server and real files.
#include "BuildInfo.h"
#include "history/HistoryStore.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>

#include <qcoro/qcoroprocess.h>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

QCoro::Task<CliRun> runCli(QStringList args)
{
    QProcess process;
    process.setProgram(QStringLiteral(TALLYVUE_CLI_PATH));
    process.setArguments(args);
    co_await qCoro(process).start();
    co_await qCoro(process).waitForFinished(30000);
    co_return CliRun{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                     QString::fromUtf8(process.readAllStandardError())};
}

CliRun cli(const QStringList& args)
{
    return QCoro::waitFor(runCli(args));
}

/// Runs `count` copies of tallyvue-cli with `args` at once; the exit codes.
QCoro::Task<QList<int>> runCliTogether(int count, QStringList args)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < count; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(QStringLiteral(TALLYVUE_CLI_PATH), args);
    }
    QList<int> codes;
    for (auto& process : processes) {
        co_await qCoro(*process).waitForFinished(120000);
        codes.append(process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1);
    }
    co_return codes;
}

} // namespace

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.start());
        for (const char* name : {"TALLYVUE_CLAUDE_API", "TALLYVUE_CHATGPT_API", "TALLYVUE_COPILOT_API"})
            qputenv(name, m_server.origin().toUtf8());
        qputenv("CLAUDE_CODE_OAUTH_TOKEN", "claude-token");
        m_server.setResponse(
            "/api/oauth/usage",
            ScriptedResponse::json(200, R"({"five_hour":{"utilization":42.7,"resets_at":"2099-01-01T00:00:00Z"}})"));
        QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear();
        HistoryStore::clear();
        QFile::remove(*widgetSnapshotPath());
    }

    HttpServer m_server;
};

// fetch prints the windows and each provider's error, keeps diagnostics off standard output,
// and writes the same history and snapshot as the app.
TEST_F(CliTest, FetchTextAndJson)
{
    CliRun run = cli({u"fetch"_s});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(u"Claude   5-Hour   42%  resets in "));
    EXPECT_EQ(lines[1], u"ChatGPT error: Credentials file not found.");
    EXPECT_EQ(lines[2], u"Copilot error: Credentials file not found.");
    EXPECT_TRUE(run.err.contains(u"[Tallyvue] Usage refreshed at"));
    EXPECT_FALSE(run.out.contains(u"[Tallyvue]"));
    EXPECT_EQ(HistoryStore::load().size(), 1);
    EXPECT_TRUE(QFile::exists(*widgetSnapshotPath()));

    run = cli({u"fetch"_s, u"--json"_s});
    EXPECT_EQ(run.exitCode, 0);
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
    const QJsonObject metric = json[u"metrics"].toArray().at(0).toObject();
    EXPECT_EQ(metric[u"id"].toString(), u"Claude:session");
    EXPECT_EQ(metric[u"percent"].toDouble(), 42.7);
    EXPECT_EQ(metric[u"resetsAt"].toString(), u"2099-01-01T00:00:00Z");
    EXPECT_EQ(metric[u"windowLength"].toDouble(), 18000);
    EXPECT_EQ(json[u"errors"].toObject().keys(), (QStringList{u"ChatGPT"_s, u"Copilot"_s}));
    EXPECT_TRUE(json[u"timestamp"].toString().endsWith(u'Z'));
}

// With no provider answering, fetch exits 1 and leaves the stored files alone.
TEST_F(CliTest, FetchWithNothingDeliveredFails)
{
    m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(500, "down"));
    const CliRun run = cli({u"fetch"_s});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.startsWith(u"Claude error: API returned HTTP 500: down\n"));
    EXPECT_FALSE(QFile::exists(HistoryStore::filePath()) && !HistoryStore::load().isEmpty());
    EXPECT_FALSE(QFile::exists(*widgetSnapshotPath()));
}

// status reads only the snapshot: the label text, the snapshot itself, and a waybar line.
TEST_F(CliTest, StatusFormats)
{
    CliRun run = cli({u"status"_s});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, u"Open Tallyvue to load usage\n");

    const QByteArray snapshot =
        R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[{"provider":"Claude","kind":"session","title":"5-Hour",)"
        R"("percent":81.9},{"provider":"Claude","kind":"weekly_all","title":"7-Day","percent":63},)"
        R"({"provider":"ChatGPT","kind":"primary","title":"5-Hour","percent":5}],"displayMode":"remaining"})";
    writeFile(*widgetSnapshotPath(), snapshot);
    run = cli({u"status"_s});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, u"18%  ·  7d 37%\n");
    EXPECT_EQ(cli({u"status"_s, u"--json"_s}).out.toUtf8(), snapshot + '\n');

    QSettings(u"Tallyvue"_s, u"Tallyvue"_s).setValue(u"secondaryMenuBadge"_s, u"ChatGPT:primary"_s);
    QSettings(u"Tallyvue"_s, u"Tallyvue"_s).setValue(u"selectedMenuBadge"_s, u"session"_s);
    run = cli({u"status"_s, u"--waybar"_s});
    const QJsonObject waybar = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(waybar[u"text"].toString(), u"C 18%  ·  G 95%");
    EXPECT_EQ(waybar[u"class"].toString(), u"critical");
    EXPECT_EQ(waybar[u"percentage"].toInt(), 81);
    EXPECT_EQ(waybar[u"tooltip"].toString().count(u'\n'), 2);
}

namespace {

/// A snapshot holding `metrics` (provider, kind, title, percent) in `mode`.
QByteArray snapshotOf(const QList<std::tuple<QString, QString, QString, double>>& metrics,
                      const QString& mode = u"used"_s)
{
    QJsonArray array;
    for (const auto& [provider, kind, title, percent] : metrics)
        array.append(
            QJsonObject{{u"provider"_s, provider}, {u"kind"_s, kind}, {u"title"_s, title}, {u"percent"_s, percent}});
    return QJsonDocument(QJsonObject{{u"timestamp"_s, u"2026-01-05T14:03:27Z"_s},
                                     {u"metrics"_s, array},
                                     {u"displayMode"_s, mode}})
        .toJson(QJsonDocument::Compact);
}

QJsonObject waybarLine(const CliRun& run)
{
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith(u'\n') && run.out.count(u'\n') == 1) << run.out.toStdString();
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

} // namespace

// The class and percentage follow the highest used figure the text shows, at the colour
// thresholds, in either display mode; a figure the text leaves out does not count.
TEST_F(CliTest, WaybarClassFollowsShownFigures)
{
    struct Row
    {
        double session, weekly, other;
        const char* mode;
        const char* text;
        const char* cls;
        int percentage;
    } rows[] = {
        {50, 10, 100, "used", "50%  ·  7d 10%", "normal", 50},
        {50.5, 10, 0, "used", "50%  ·  7d 10%", "warning", 50},
        {10, 80, 0, "used", "10%  ·  7d 80%", "warning", 80},
        {10, 80.2, 0, "used", "10%  ·  7d 80%", "critical", 80},
        {5, 100, 0, "remaining", "95%  ·  7d 0%", "critical", 100},
        {130, 0, 0, "used", "100%  ·  7d 0%", "critical", 100},
    };
    for (const Row& row : rows) {
        writeFile(*widgetSnapshotPath(), snapshotOf({{u"Claude"_s, u"session"_s, u"5-Hour"_s, row.session},
                                                     {u"Claude"_s, u"weekly_all"_s, u"7-Day"_s, row.weekly},
                                                     {u"ChatGPT"_s, u"primary"_s, u"5-Hour"_s, row.other}},
                                                    QString::fromLatin1(row.mode)));
        const QJsonObject json = waybarLine(cli({u"status"_s, u"--waybar"_s}));
        SCOPED_TRACE(row.text);
        EXPECT_EQ(json[u"text"].toString(), QString::fromUtf8(row.text));
        EXPECT_EQ(json[u"class"].toString(), QString::fromLatin1(row.cls));
        EXPECT_EQ(json[u"percentage"].toInt(-1), row.percentage);
    }
}

// Before the first snapshot, or with one that holds nothing, waybar still gets a line it can
// show; plain status and --json keep failing.
TEST_F(CliTest, WaybarEmptyState)
{
    for (const QByteArray& bytes : {QByteArray(), QByteArray("{not json"), snapshotOf({})}) {
        SCOPED_TRACE(bytes.toStdString());
        if (!bytes.isNull())
            writeFile(*widgetSnapshotPath(), bytes);
        const QJsonObject json = waybarLine(cli({u"status"_s, u"--waybar"_s}));
        EXPECT_EQ(json, (QJsonObject{{u"text"_s, u"–"_s},
                                     {u"tooltip"_s, u"Open Tallyvue to load usage"_s},
                                     {u"class"_s, u"empty"_s}}));
        EXPECT_EQ(cli({u"status"_s}).exitCode, 1);
        EXPECT_EQ(cli({u"status"_s, u"--json"_s}).exitCode, 1);
    }
}

// waybar parses text and tooltip as Pango markup: markup characters in a title arrive escaped,
// and a line break in one never splits a status bar's line.
TEST_F(CliTest, WaybarEscapesMarkup)
{
    writeFile(*widgetSnapshotPath(), snapshotOf({{u"Copilot"_s, u"chat"_s, u"Q&A\n<\"beta\">"_s, 20},
                                                 {u"Copilot"_s, u"completions"_s, u"Tab's fill"_s, 30}}));
    QSettings(u"Tallyvue"_s, u"Tallyvue"_s).setValue(u"selectedMenuBadge"_s, u"Copilot:completions"_s);
    QSettings(u"Tallyvue"_s, u"Tallyvue"_s).setValue(u"secondaryMenuBadge"_s, u"Copilot:chat"_s);
    const QJsonObject json = waybarLine(cli({u"status"_s, u"--waybar"_s}));
    EXPECT_EQ(json[u"text"].toString(), u"30%  ·  Q&amp;A &lt;&quot;beta&quot;&gt; 20%"_s);
    EXPECT_EQ(json[u"tooltip"].toString(),
              u"Copilot Q&amp;A &lt;&quot;beta&quot;&gt;: 20%\nCopilot Tab&apos;s fill: 30%"_s);
    EXPECT_EQ(cli({u"status"_s}).out, u"30%  ·  Q&A <\"beta\"> 20%\n"_s);
}

// history export writes the CSV to a file atomically or to standard output; clear removes it.
TEST_F(CliTest, HistoryExportAndClear)
{
    HistoryStore::record({{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, std::nullopt, 18000}});
    const QString target = QDir::tempPath() + u"/out.csv"_s;
    EXPECT_EQ(cli({u"history"_s, u"export"_s, target}).exitCode, 0);
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), HistoryStore::exportCSV());
    EXPECT_EQ(cli({u"history"_s, u"export"_s}).out, HistoryStore::exportCSV());

    const CliRun failed = cli({u"history"_s, u"export"_s, u"/nonexistent-dir/x.csv"_s});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains(u"cannot write /nonexistent-dir/x.csv"));

    EXPECT_EQ(cli({u"history"_s, u"clear"_s}).exitCode, 0);
    EXPECT_TRUE(HistoryStore::load().isEmpty());
}

// Bad usage exits 2 with a message; --help and --version succeed.
TEST_F(CliTest, Usage)
{
    for (const QStringList& args : {QStringList{}, QStringList{u"frobnicate"_s}, QStringList{u"fetch"_s, u"--xml"_s},
                                    QStringList{u"status"_s, u"--json"_s, u"--waybar"_s},
                                    QStringList{u"history"_s, u"export"_s, u"a"_s, u"b"_s}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(u"Usage: tallyvue-cli")) << args.join(u' ').toStdString();
    }
}

// Every program answers --help and --version, and refuses an unknown option with its usage and
// status 2, before it needs a display or a session bus; Qt's own options are passed over.
TEST(ProgramCommandLines, WithoutDisplayOrBus)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"disabled:"_s);
    const QString programs[] = {QStringLiteral(TALLYVUE_CLI_PATH), QStringLiteral(TALLYVUE_APP_PATH),
                                QStringLiteral(TALLYVUE_WIDGET_PATH)};
    const std::tuple<QStringList, int, const char*> cases[] = {
        {{u"--help"_s}, 0, "Usage: "},
        {{u"--version"_s}, 0, build::kVersion},
        {{u"--bogus"_s}, 2, "Usage: "},
    };
    for (const QString& program : programs) {
        const QString name = program.section(u'/', -1);
        for (const auto& [args, status, text] : cases) {
            SCOPED_TRACE(QString(name + u' ' + args.join(u' ')).toStdString());
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(program, args);
            ASSERT_TRUE(process.waitForFinished(30000));
            EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(process.exitCode(), status);
            const QString out =
                QString::fromUtf8(status == 0 ? process.readAllStandardOutput() : process.readAllStandardError());
            EXPECT_TRUE(out.contains(QString::fromLatin1(text))) << out.toStdString();
            EXPECT_TRUE(out.contains(name)) << out.toStdString();
        }
    }
    QProcess app;
    app.setProcessEnvironment(environment);
    app.start(QStringLiteral(TALLYVUE_APP_PATH), {u"-platform"_s, u"offscreen"_s, u"-reverse"_s, u"--version"_s});
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitCode(), 0);
}

// Eight fetches at once on a full two-week history each add their line: the rewrites of the
// file take turns, so none is overwritten by another process's older copy.
TEST_F(CliTest, SimultaneousFetchesKeepEveryLine)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime oldest = now.addSecs(-HistoryStore::kRetentionSeconds + 3600); // kept however slow the run
    constexpr int kSnapshots = 10080;                                              // every two minutes for 14 days
    QByteArray text;
    for (int i = 0; i < kSnapshots; ++i) {
        UsageSnapshot snapshot{oldest.addSecs(qint64(i) * 119), {}};
        for (const char* kind : {"session", "weekly_all", "primary", "secondary", "premium_interactions", "chat"})
            snapshot.limits.append(
                {AIProvider::Claude, QString::fromLatin1(kind), 42.5 + i % 7, u"Title"_s, now.addSecs(7200)});
        text += *HistoryStore::encodeLine(snapshot) + '\n';
    }
    writeFile(HistoryStore::filePath(), text);

    constexpr int kFetches = 8;
    const QList<int> codes = QCoro::waitFor(runCliTogether(kFetches, {u"fetch"_s}));
    EXPECT_EQ(codes, QList<int>(kFetches, 0));
    EXPECT_EQ(HistoryStore::load().size(), kSnapshots + kFetches);
    EXPECT_FALSE(QFile::exists(HistoryStore::filePath() + u".lock"_s));
}
