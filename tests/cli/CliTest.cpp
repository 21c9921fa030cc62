// SPDX-License-Identifier: MIT
// tallyvue-cli as a user runs it: a real process against a local server and real files.
#include "BuildInfo.h"
#include "history/HistoryStore.h"
#include "model/Timestamp.h"
#include "platform/linux/SingleInstance.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <qcoro/qcoroprocess.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <iostream>
#include <linux/capability.h>
#include <memory>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
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
    bool finished = false;
};

/// `prepare` runs in the child before tallyvue-cli starts (umask, capabilities).
QCoro::Task<CliRun> runCli(QStringList args, std::function<void()> prepare = {}, int timeoutMs = 30000)
{
    QProcess process;
    process.setProgram(QStringLiteral(TALLYVUE_CLI_PATH));
    process.setArguments(args);
    if (prepare)
        process.setChildProcessModifier(prepare);
    co_await qCoro(process).start();
    const bool finished = co_await qCoro(process).waitForFinished(timeoutMs);
    co_return CliRun{finished ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
                     QString::fromUtf8(process.readAllStandardError()), finished};
}

CliRun cli(const QStringList& args, std::function<void()> prepare = {}, int timeoutMs = 30000)
{
    return QCoro::waitFor(runCli(args, std::move(prepare), timeoutMs));
}

/// In the child: without the capabilities that let root pass over file modes, so that chmod and
/// read-only folders hold for a test run as root as they do for a user.
void withoutFileOverrides()
{
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

/// What is at `path`, for before-and-after comparisons: its kind, mode and owner, and a file's
/// bytes or a link's target.
QByteArray describe(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0)
        return "missing";
    const QByteArray head = QByteArray::number(info.st_mode, 8) + ' ' + QByteArray::number(info.st_uid) + ' ';
    if (S_ISLNK(info.st_mode))
        return head + "link to " + QFile::encodeName(QFile::symLinkTarget(path));
    if (!S_ISREG(info.st_mode))
        return head;
    QFile file(path);
    return head + (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable"));
}

/// `count` history lines, one a minute up to now.
QByteArray historyLines(int count)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QByteArray text;
    for (int i = count; i > 0; --i)
        text += *HistoryStore::encodeLine(
                    {now.addSecs(-60 * i), {{AIProvider::Claude, u"session"_s, 40.0 + i % 9, u"5-Hour"_s, now}}}) +
                '\n';
    return text;
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
    ASSERT_EQ(lines.size(), 5) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(u"Claude   5-Hour   42%  resets in "));
    EXPECT_EQ(lines[1], u"ChatGPT error: Credentials file not found.");
    // The same hint as the popover: the file looked for and what creates it.
    EXPECT_EQ(lines[2], u"  Not signed in to ChatGPT / Codex. Tallyvue looks for ~/.codex/auth.json, which `codex "
                        u"login` creates.");
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

    const QByteArray written = formatWholeSecondTimestamp(QDateTime::currentDateTimeUtc().addSecs(-30)).toLatin1();
    const QByteArray snapshot =
        R"({"timestamp":")" + written +
        R"(","metrics":[{"provider":"Claude","kind":"session","title":"5-Hour",)"
        R"("percent":81.9},{"provider":"Claude","kind":"weekly_all","title":"7-Day","percent":63},)"
        R"({"provider":"ChatGPT","kind":"primary","title":"5-Hour","percent":5}],"displayMode":"remaining"})";
    writeFile(*widgetSnapshotPath(), snapshot);
    run = cli({u"status"_s});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, u"18%  ·  7d 37%\n");
    QJsonObject json = QJsonDocument::fromJson(cli({u"status"_s, u"--json"_s}).out.toUtf8()).object();
    EXPECT_EQ(json.take(u"updatedAt"_s).toString().toLatin1(), written);
    EXPECT_NEAR(json.take(u"ageSeconds"_s).toDouble(), 30, 5);
    EXPECT_EQ(json.take(u"stale"_s), QJsonValue(false));
    EXPECT_EQ(json, QJsonDocument::fromJson(snapshot).object());

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
                      const QString& mode = u"used"_s, qint64 ageSeconds = 10)
{
    QJsonArray array;
    for (const auto& [provider, kind, title, percent] : metrics)
        array.append(
            QJsonObject{{u"provider"_s, provider}, {u"kind"_s, kind}, {u"title"_s, title}, {u"percent"_s, percent}});
    const QDateTime written = QDateTime::currentDateTimeUtc().addSecs(-ageSeconds);
    return QJsonDocument(QJsonObject{{u"timestamp"_s, formatWholeSecondTimestamp(written)},
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
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), HistoryStore::exportCSV().value());
    EXPECT_EQ(cli({u"history"_s, u"export"_s}).out.toUtf8(), HistoryStore::exportCSV().value());

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

// Each command answers --help with its own usage and status 0.
TEST_F(CliTest, CommandHelp)
{
    for (const char* command : {"fetch", "status", "history", "local", "alert"}) {
        const CliRun run = cli({QString::fromLatin1(command), u"--help"_s});
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_TRUE(run.out.startsWith(u"Usage: tallyvue-cli "_s + QString::fromLatin1(command))) << command;
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

namespace {

/// Removes the data folders and credential files a fault case may have left, whatever they hold.
void resetData()
{
    const QString history = QFileInfo(HistoryStore::filePath()).path();
    ::chmod(QFile::encodeName(history).constData(), 0700);
    for (const QString& folder :
         QStringList{history, QFileInfo(*widgetSnapshotPath()).path(), QDir::homePath() + u"/.codex"_s,
                     QDir::homePath() + u"/.config/github-copilot"_s})
        QDir(folder).removeRecursively();
    QFile::remove(QDir::homePath() + u"/victim"_s);
}

void makeFifo(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << std::strerror(errno);
}

void makeLink(const QString& target, const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(QFile::link(target, path));
}

void changeMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << std::strerror(errno);
}

/// True when file modes hold for tallyvue-cli: as root, once withoutFileOverrides() took away
/// the capabilities that pass over them.
bool modesHold()
{
    const QString probe = QDir::tempPath() + u"/probe"_s;
    writeFile(probe, "x");
    changeMode(probe, 0200);
    QProcess cat;
    cat.setChildProcessModifier(withoutFileOverrides);
    cat.start(u"/bin/cat"_s, {probe});
    cat.waitForFinished(10000);
    QFile::remove(probe);
    return cat.exitCode() != 0;
}

} // namespace

// Every way a data path can be other than a plain file of ours, met by the real program: nothing
// it cannot read is ever rewritten, nothing outside our folders is written through a link,
// nothing blocks, and each failure is said and fails the command.
TEST_F(CliTest, FaultsAtDataPathsAreReportedAndChangeNothing)
{
    const QString history = HistoryStore::filePath();
    const QString folder = QFileInfo(history).path();
    const QString snapshot = *widgetSnapshotPath();
    const QString victim = QDir::homePath() + u"/victim"_s;
    const QString codexAuth = QDir::homePath() + u"/.codex/auth.json"_s;
    const QString copilotApps = QDir::homePath() + u"/.config/github-copilot/apps.json"_s;
    const QStringList fetch{u"fetch"_s};
    const QStringList exportCsv{u"history"_s, u"export"_s};
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        QStringList args;
        int exitCode;
        QString says; ///< in standard output or error
        QString kept; ///< what must be exactly as before
        bool needsModes = false;
    };
    const auto withHistory = [&](std::function<void()> then) {
        return [&history, then] {
            writeFile(history, historyLines(50));
            then();
        };
    };
    const Case cases[] = {
        {"unreadable history (2)", withHistory([&] { changeMode(history, 0200); }), fetch, 1,
         u"history not recorded: cannot read "_s + history + u": Permission denied"_s, history, true},
        {"history not UTF-8 (2)",
         [&] {
             const QString text = QString::fromUtf8(historyLines(50));
             writeFile(history, QByteArray("\xff\xfe") +
                                    QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
         },
         fetch, 1, u"history not recorded: cannot read "_s + history + u": it is not UTF-8 text"_s, history},
        {"history is a link (4)",
         [&] {
             writeFile(victim, "not ours\n");
             makeLink(victim, history);
         },
         fetch, 1, u"history not recorded: cannot read "_s + history + u": it is a symbolic link"_s, victim},
        {"snapshot is a link (4)",
         [&] {
             writeFile(victim, "not ours\n");
             makeLink(victim, snapshot);
         },
         fetch, 1, u"widget snapshot not written: cannot write "_s + snapshot + u": it is a symbolic link"_s, victim},
        {"history of another user (4)", withHistory([&] {
             ASSERT_EQ(::chown(QFile::encodeName(history).constData(), 65534, 65534), 0);
             changeMode(history, 0644);
         }),
         fetch, 1, u"history not recorded: cannot write "_s + history + u": it belongs to another user"_s, history},
        {"history is a FIFO: fetch (6)", [&] { makeFifo(history); }, fetch, 1,
         u"history not recorded: cannot read "_s + history + u": it is a FIFO"_s, history},
        {"history is a FIFO: export (6)", [&] { makeFifo(history); }, exportCsv, 1,
         u"history not exported: cannot read "_s + history + u": it is a FIFO"_s, history},
        {"snapshot is a FIFO: status (6)",
         [&] { makeFifo(snapshot); },
         {u"status"_s},
         1,
         u"cannot read "_s + snapshot + u": it is a FIFO"_s,
         snapshot},
        {"snapshot is a FIFO: waybar (6)",
         [&] { makeFifo(snapshot); },
         {u"status"_s, u"--waybar"_s},
         0,
         u"Open Tallyvue to load usage"_s,
         snapshot},
        {"snapshot links to /dev/zero (6)",
         [&] { makeLink(u"/dev/zero"_s, snapshot); },
         {u"status"_s},
         1,
         u"cannot read "_s + snapshot + u": it is a symbolic link"_s,
         snapshot},
        {"Codex login is a FIFO (6)", [&] { makeFifo(codexAuth); }, fetch, 0,
         u"ChatGPT error: Credentials file cannot be read: "_s + codexAuth + u" (it is a FIFO)."_s, codexAuth},
        {"Copilot login too large", [&] { writeFile(copilotApps, QByteArray(5 * 1024 * 1024, ' ')); }, fetch, 0,
         u"Copilot error: Credentials file cannot be read: "_s + copilotApps + u" (it is larger than 4 MiB)."_s,
         copilotApps},
        {"export of an unreadable history (8)", withHistory([&] { changeMode(history, 0200); }), exportCsv, 1,
         u"history not exported: cannot read "_s + history + u": Permission denied"_s, history, true},
        {"clear in a read-only folder (8)",
         withHistory([&] { changeMode(folder, 0500); }),
         {u"history"_s, u"clear"_s},
         1,
         u"history not cleared: cannot delete "_s + history + u": Permission denied"_s,
         history,
         true},
        {"fetch into a read-only folder (8)", withHistory([&] { changeMode(folder, 0500); }), fetch, 1,
         u"history not recorded: cannot write "_s + history + u": "_s, history, true},
    };
    const bool modes = modesHold();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetData();
        if (c.needsModes && !modes) {
            std::cout << "[ SKIPPED  ] " << c.name << ": file modes cannot be made to hold for root here\n";
            continue;
        }
        c.arrange();
        const QByteArray before = describe(c.kept);
        const CliRun run = cli(c.args, withoutFileOverrides, 10000);
        EXPECT_TRUE(run.finished) << "still running after 10 s";
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(c.says) || run.err.contains(c.says))
            << run.out.toStdString() << run.err.toStdString();
        EXPECT_EQ(describe(c.kept), before);
    }
    resetData();
}

// On a full file system (a small tmpfs, filled up) nothing is replaced by an empty or cut-off
// file: the old history, snapshot and export stay as they were, and the command says why it failed.
TEST_F(CliTest, FullDiskKeepsTheOldFiles)
{
    const QString mountPoint = QDir::tempPath() + u"/full"_s;
    QDir().mkpath(mountPoint);
    const QByteArray native = QFile::encodeName(mountPoint);
    if (::mount("tmpfs", native.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m,mode=0700") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << std::strerror(errno) << "): no full disk to test";
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", native);
    const auto cleanup = qScopeGuard([&] {
        qputenv("XDG_DATA_HOME", dataHome);
        ::umount2(native.constData(), MNT_DETACH);
    });
    const QString history = HistoryStore::filePath();
    const QString snapshot = *widgetSnapshotPath();
    const QString exported = mountPoint + u"/out.csv"_s;
    struct Case
    {
        const char* name;
        qint64 leftFree;
        QStringList args;
        QString kept;
        QString says;
    };
    const Case cases[] = {
        {"fetch, disk full: history", 0, {u"fetch"_s}, history, u"history not recorded: cannot write "_s + history},
        {"fetch, disk full: snapshot",
         0,
         {u"fetch"_s},
         snapshot,
         u"widget snapshot not written: cannot write "_s + snapshot},
        {"fetch, a little space", 8192, {u"fetch"_s}, history, u"history not recorded: cannot write "_s + history},
        {"export, disk full", 0, {u"history"_s, u"export"_s, exported}, exported, u"cannot write "_s + exported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& entry : QDir(mountPoint).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            QDir(mountPoint + u'/' + entry).removeRecursively();
            QFile::remove(mountPoint + u'/' + entry);
        }
        writeFile(history, historyLines(200));
        writeFile(snapshot, R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[]})");
        writeFile(exported, "the export of yesterday\n");
        const QByteArray filler = QFile::encodeName(mountPoint + u"/filler"_s);
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const QByteArray block(4096, 'x');
        off_t size = 0;
        while (::write(fd, block.constData(), std::size_t(block.size())) == block.size())
            size += block.size();
        ASSERT_EQ(::ftruncate(fd, size - c.leftFree), 0);
        ::close(fd);

        const QByteArray before = describe(c.kept);
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.exitCode, 1) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
        EXPECT_EQ(describe(c.kept), before);
    }
}

// Under umask 000 the folders are still created 0700 and the files 0600.
TEST_F(CliTest, PrivateModesWhateverTheUmask)
{
    resetData();
    const CliRun run = cli({u"fetch"_s}, [] { ::umask(0); });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString history = HistoryStore::filePath();
    const QString snapshot = *widgetSnapshotPath();
    for (const auto& [path, mode] : {std::pair{QFileInfo(history).path(), 0700}, std::pair{history, 0600},
                                     std::pair{QFileInfo(snapshot).path(), 0700}, std::pair{snapshot, 0600}}) {
        struct stat info
        {
        };
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
        EXPECT_EQ(info.st_mode & 07777, mode_t(mode)) << path.toStdString();
    }
}

// Text from a server never steers the terminal: control characters in an error body, in a
// recorded title and in a damaged snapshot are replaced or escaped; status --json prints what it
// read as valid JSON, never the file's bytes.
TEST_F(CliTest, ControlCharactersNeverReachTheTerminal)
{
    m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(500, "\x1b[2J\x1b]0;owned\x07"
                                                                         "down"));
    CliRun run = cli({u"fetch"_s});
    EXPECT_TRUE(run.out.contains(u"Claude error: API returned HTTP 500: \uFFFD[2J\uFFFD]0;owned\uFFFDdown\n"_s))
        << run.out.toStdString();

    HistoryStore::record({{AIProvider::Copilot, u"chat"_s, u"\x1b[31mred\r\nline"_s, 5, std::nullopt, std::nullopt}});
    const CliRun exported = cli({u"history"_s, u"export"_s});
    EXPECT_TRUE(exported.out.contains(u",\"\uFFFD[31mred  line\","_s)) << exported.out.toStdString();

    const QByteArray damaged =
        "\xEF\xBB\xBF"
        R"({"timestamp":"2026-01-05T14:03:27Z","metrics":[{"provider":"Claude","kind":"session",)"
        "\"title\":\"\x1b[31m5-Hour\",\"percent\":42}]}";
    writeFile(*widgetSnapshotPath(), damaged);
    const CliRun json = cli({u"status"_s, u"--json"_s});
    EXPECT_EQ(json.exitCode, 0);
    // The snapshot as read, re-encoded, with the age beside it.
    QJsonObject printed = QJsonDocument::fromJson(json.out.toUtf8()).object();
    for (const QString& added : {u"updatedAt"_s, u"ageSeconds"_s, u"stale"_s})
        EXPECT_TRUE(printed.take(added) != QJsonValue::Undefined) << added.toStdString();
    EXPECT_EQ(printed, QJsonDocument::fromJson(encodeWidgetSnapshot(*decodeWidgetSnapshot(damaged))).object());

    for (const CliRun* each : {&std::as_const(run), &exported, &json}) {
        for (const QChar c : QString(each->out + each->err))
            EXPECT_TRUE(c == u'\n' || c.category() != QChar::Other_Control) << each->out.toStdString();
    }
}

// A FIFO at the history path does not stop the tray app: it says in one line that the history
// cannot be read and goes on.
TEST_F(CliTest, AppDoesNotBlockOnAFifo)
{
    resetData();
    makeFifo(HistoryStore::filePath());
    QProcess app;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    app.setProcessEnvironment(environment);
    app.start(QStringLiteral(TALLYVUE_APP_PATH));
    const QByteArray expected = "[Tallyvue] History not loaded: cannot read " +
                                QFile::encodeName(HistoryStore::filePath()) + ": it is a FIFO\n";
    QByteArray out;
    for (int waited = 0; waited < 10000 && !out.contains(expected); waited += 50) {
        app.waitForReadyRead(50);
        out += app.readAllStandardOutput();
    }
    EXPECT_TRUE(out.contains(expected)) << out.toStdString();
    app.kill();
    app.waitForFinished(5000);
    resetData();
}

// No program holding a token can be dumped or read through /proc by another process of the user:
// started as an ordinary user, each becomes non-dumpable, which makes root the owner of its /proc files.
TEST(Programs, NotDumpable)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to start the programs as another user";
    HttpServer server;
    ASSERT_TRUE(server.start());
    ScriptedResponse stall(200, "{", ScriptedResponse::Behavior::Stall);
    stall.contentLength = 100; // the rest never comes: fetch waits while the test looks
    server.setResponse("/api/oauth/usage", stall);
    QTemporaryDir home(u"/tmp/tallyvue-nobody-XXXXXX"_s);
    ::chmod(QFile::encodeName(home.path()).constData(), 0777);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR", "XDG_RUNTIME_DIR"})
        environment.insert(QString::fromLatin1(name), home.path());
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"CLAUDE_CODE_OAUTH_TOKEN"_s, u"claude-token"_s);
    environment.insert(u"TALLYVUE_CLAUDE_API"_s, server.origin());
    const std::pair<QString, QStringList> programs[] = {
        {QStringLiteral(TALLYVUE_CLI_PATH), {u"fetch"_s}},
        {QStringLiteral(TALLYVUE_APP_PATH), {}},
        {QStringLiteral(TALLYVUE_WIDGET_PATH), {}},
    };
    for (const auto& [program, args] : programs) {
        SCOPED_TRACE(program.toStdString());
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([] {
            ::setgroups(0, nullptr);
            if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
                ::_exit(127);
        });
        process.start(program, args);
        ASSERT_TRUE(process.waitForStarted(10000));
        const QByteArray proc = "/proc/" + QByteArray::number(process.processId());
        // A process that has ended has root's /proc files too: only a running one counts.
        const auto running = [&proc] {
            QFile stat(QString::fromLatin1(proc + "/stat"));
            return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
        };
        uid_t owner = 65534;
        for (int waited = 0; waited < 5000 && owner != 0 && running(); waited += 10) {
            struct stat info
            {
            };
            if (::stat(QByteArray(proc + "/environ").constData(), &info) == 0 && running())
                owner = info.st_uid;
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
        EXPECT_EQ(owner, 0u) << "still dumpable, or ended early";
        process.kill();
        process.waitForFinished(5000);
    }
}
