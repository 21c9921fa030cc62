// SPDX-License-Identifier: MIT
// tallyvue-cli as a user runs it: a real process against a local server and real files.
#include "cli/CliSupport.h"

// fetch prints the windows and each provider's error, keeps diagnostics off standard output,
// and writes the same history and snapshot as the app.
TEST_F(CliTest, FetchTextAndJson)
{
    CliRun run = cli({u"fetch"_s});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), 5) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(u"Claude   5-Hour   42%  resets in "));
    EXPECT_EQ(lines[1], u"ChatGPT error: Credentials file not found.");
    EXPECT_TRUE(lines[2].startsWith(u"  Not signed in to ChatGPT / Codex.")); // the popover's hint, indented
    EXPECT_EQ(lines[3], u"Copilot error: Credentials file not found.");
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
    EXPECT_EQ(json[u"hints"].toObject().keys(), (QStringList{u"ChatGPT"_s, u"Copilot"_s}));
    EXPECT_TRUE(json[u"timestamp"].toString().endsWith(u'Z'));
}

namespace {

QJsonObject waybarLine(const CliRun& run)
{
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith(u'\n') && run.out.count(u'\n') == 1) << run.out.toStdString();
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

} // namespace

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
        const CliRun plain = cli({u"status"_s});
        EXPECT_EQ(plain.exitCode, 1);
        EXPECT_EQ(plain.out, u"Open Tallyvue to load usage\n");
        // A JSON reader gets JSON here too.
        const CliRun asJson = cli({u"status"_s, u"--json"_s});
        EXPECT_EQ(asJson.exitCode, 1);
        EXPECT_EQ(QJsonDocument::fromJson(asJson.out.toUtf8()).object(),
                  (QJsonObject{{u"error"_s, u"Open Tallyvue to load usage"_s}}));
    }
}

// Figures nobody refreshes any more say how old they are: after two refresh intervals, or one
// when Tallyvue is not running. waybar gets the class "stale" beside the level.
TEST_F(CliTest, StaleSnapshotSaysItsAge)
{
    QLocalServer app; // stands in for the running tray application
    QLocalServer::removeServer(SingleInstance::socketPath());
    struct Row
    {
        qint64 age;
        bool running;
        const char* ago; // empty: current
    } rows[] = {{500, false, ""}, {700, false, "11 min ago"}, {700, true, ""}, {3 * 3600 + 60, true, "3 h ago"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.age);
        if (row.running) {
            ASSERT_TRUE(app.listen(SingleInstance::socketPath()));
        }
        writeFile(*widgetSnapshotPath(),
                  snapshotOf({{u"Claude"_s, u"session"_s, u"5-Hour"_s, 61}}, u"used"_s, row.age));
        const QString ago = QString::fromLatin1(row.ago);
        EXPECT_EQ(cli({u"status"_s}).out, ago.isEmpty() ? u"61%\n"_s : u"61%  ("_s + ago + u")\n"_s);
        const QJsonObject waybar = waybarLine(cli({u"status"_s, u"--waybar"_s}));
        EXPECT_EQ(waybar[u"class"_s],
                  ago.isEmpty() ? QJsonValue(u"warning"_s) : QJsonValue(QJsonArray{u"warning"_s, u"stale"_s}));
        EXPECT_EQ(waybar[u"tooltip"_s].toString().startsWith(u"Updated "_s + ago), !ago.isEmpty());
        EXPECT_NEAR(waybar[u"ageSeconds"_s].toDouble(), double(row.age), 5);
        app.close();
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
    EXPECT_EQ(readFile(target), HistoryStore::exportCSV().value());
    EXPECT_EQ(cli({u"history"_s, u"export"_s}).out.toUtf8(), HistoryStore::exportCSV().value());

    const CliRun failed = cli({u"history"_s, u"export"_s, u"/nonexistent-dir/x.csv"_s});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains(u"cannot write /nonexistent-dir/x.csv"));

    EXPECT_EQ(cli({u"history"_s, u"clear"_s}).exitCode, 0);
    EXPECT_TRUE(HistoryStore::load().isEmpty());
}

// Bad usage exits 2 with the usage on standard error; each command answers --help with its own
// usage and status 0.
TEST_F(CliTest, Usage)
{
    for (const QStringList& args : {QStringList{}, QStringList{u"frobnicate"_s}, QStringList{u"fetch"_s, u"--xml"_s},
                                    QStringList{u"status"_s, u"--json"_s, u"--waybar"_s},
                                    QStringList{u"history"_s, u"export"_s, u"a"_s, u"b"_s}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(u"Usage: tallyvue-cli")) << args.join(u' ').toStdString();
    }
    for (const QString& command : {u"fetch"_s, u"status"_s, u"history"_s, u"local"_s, u"alert"_s, u"statusline"_s}) {
        const CliRun run = cli({command, u"--help"_s});
        EXPECT_EQ(run.exitCode, 0) << command.toStdString();
        EXPECT_TRUE(run.out.startsWith(u"Usage: tallyvue-cli "_s + command)) << command.toStdString();
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
    const QList<int> codes = runCliTogether(kFetches, {u"fetch"_s});
    EXPECT_EQ(codes, QList<int>(kFetches, 0));
    EXPECT_EQ(HistoryStore::load().size(), kSnapshots + kFetches);
    EXPECT_FALSE(QFile::exists(HistoryStore::filePath() + u".lock"_s));
}
