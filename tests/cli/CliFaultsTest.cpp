// SPDX-License-Identifier: MIT
// The command line against a hostile file system: FIFOs, links, read-only folders, a full disk,
// odd modes and control characters from a server.
#include "cli/CliSupport.h"

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
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        const char* args;
        int exitCode;
        const char* says; ///< in standard output or error, with %1 for `path`
        QString path;
        QString kept; ///< what must be exactly as before
        bool needsModes = false;
    };
    const auto withHistory = [&](std::function<void()> then) {
        return [&history, then] {
            writeFile(history, historyLines(50));
            then();
        };
    };
    const auto fifo = [](const QString& path) { return [path] { makeFifo(path); }; };
    const auto linkedToVictim = [&](const QString& path) {
        return [&victim, path] {
            writeFile(victim, "not ours\n");
            makeLink(victim, path);
        };
    };
    const auto unreadable = withHistory([&] { changeMode(history, 0200); });
    const auto readOnlyFolder = withHistory([&] { changeMode(folder, 0500); });
    const auto ofAnotherUser = withHistory([&] {
        ASSERT_EQ(::chown(QFile::encodeName(history).constData(), 65534, 65534), 0);
        changeMode(history, 0644);
    });
    const auto notUtf8 = [&] {
        const QString text = QString::fromUtf8(historyLines(50));
        writeFile(history, "\xff\xfe" + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
    };
    const auto hugeLogin = [&] { writeFile(copilotApps, QByteArray(5 * 1024 * 1024, ' ')); };
    const Case cases[] = {
        {"unreadable history (2)", unreadable, "fetch", 1, "history not recorded: cannot read %1: Permission denied",
         history, history, true},
        {"history not UTF-8 (2)", notUtf8, "fetch", 1, "history not recorded: cannot read %1: it is not UTF-8 text",
         history, history},
        {"history is a link (4)", linkedToVictim(history), "fetch", 1,
         "history not recorded: cannot read %1: it is a symbolic link", history, victim},
        {"snapshot is a link (4)", linkedToVictim(snapshot), "fetch", 1,
         "widget snapshot not written: cannot write %1: it is a symbolic link", snapshot, victim},
        {"history of another user (4)", ofAnotherUser, "fetch", 1,
         "history not recorded: cannot write %1: it belongs to another user", history, history},
        {"history is a FIFO: fetch (6)", fifo(history), "fetch", 1,
         "history not recorded: cannot read %1: it is a FIFO", history, history},
        {"history is a FIFO: export (6)", fifo(history), "history export", 1,
         "history not exported: cannot read %1: it is a FIFO", history, history},
        {"snapshot is a FIFO: status (6)", fifo(snapshot), "status", 1, "cannot read %1: it is a FIFO", snapshot,
         snapshot},
        {"snapshot is a FIFO: waybar (6)", fifo(snapshot), "status --waybar", 0, "Open Tallyvue to load usage",
         snapshot, snapshot},
        {"snapshot links to /dev/zero (6)", [&] { makeLink(u"/dev/zero"_s, snapshot); }, "status", 1,
         "cannot read %1: it is a symbolic link", snapshot, snapshot},
        {"Codex login is a FIFO (6)", fifo(codexAuth), "fetch", 0,
         "ChatGPT error: Credentials file cannot be read: %1 (it is a FIFO).", codexAuth, codexAuth},
        {"Copilot login too large", hugeLogin, "fetch", 0,
         "Copilot error: Credentials file cannot be read: %1 (it is larger than 4 MiB).", copilotApps, copilotApps},
        {"export of an unreadable history (8)", unreadable, "history export", 1,
         "history not exported: cannot read %1: Permission denied", history, history, true},
        {"clear in a read-only folder (8)", readOnlyFolder, "history clear", 1,
         "history not cleared: cannot delete %1: Permission denied", history, history, true},
        {"fetch into a read-only folder (8)", readOnlyFolder, "fetch", 1,
         "history not recorded: cannot write %1: ", history, history, true},
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
        const CliRun run = cli(QString::fromLatin1(c.args).split(u' '), {withoutFileOverrides, {}, {}, 10000});
        EXPECT_TRUE(run.finished) << "still running after 10 s";
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out.toStdString() << run.err.toStdString();
        const QString says = QString::fromLatin1(c.says).arg(c.path);
        EXPECT_TRUE(run.out.contains(says) || run.err.contains(says)) << run.out.toStdString() << run.err.toStdString();
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
    const struct
    {
        const char* name;
        qint64 leftFree;
        QString args;
        QString kept;
        const char* says; ///< on standard error, with %1 for `kept`
    } cases[] = {
        {"fetch, disk full: history", 0, u"fetch"_s, history, "history not recorded: cannot write %1"},
        {"fetch, disk full: snapshot", 0, u"fetch"_s, snapshot, "widget snapshot not written: cannot write %1"},
        {"fetch, a little space", 8192, u"fetch"_s, history, "history not recorded: cannot write %1"},
        {"export, disk full", 0, u"history export "_s + exported, exported, "cannot write %1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(mountPoint).removeRecursively(); // empties it: the mount point itself cannot go
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
        const CliRun run = cli(c.args.split(u' '));
        EXPECT_EQ(run.exitCode, 1) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.says).arg(c.kept))) << run.err.toStdString();
        EXPECT_EQ(describe(c.kept), before);
    }
}

// Under umask 000 the folders are still created 0700 and the files 0600.
TEST_F(CliTest, PrivateModesWhateverTheUmask)
{
    resetData();
    const CliRun run = cli({u"fetch"_s}, {.prepare = [] { ::umask(0); }});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString history = HistoryStore::filePath();
    const QString snapshot = *widgetSnapshotPath();
    for (const auto& [path, mode] : {std::pair{QFileInfo(history).path(), 0700}, std::pair{history, 0600},
                                     std::pair{QFileInfo(snapshot).path(), 0700}, std::pair{snapshot, 0600}}) {
        struct stat info = {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
        EXPECT_EQ(info.st_mode & 07777, mode_t(mode)) << path.toStdString();
    }
}

// Text from a server never steers the terminal: control characters in an error body and in a
// damaged snapshot are replaced or escaped; status --json prints what it
// read as valid JSON, never the file's bytes.
TEST_F(CliTest, ControlCharactersNeverReachTheTerminal)
{
    m_server.setResponse("/api/oauth/usage", ScriptedResponse::json(500, "\x1b[2J\x1b]0;owned\x07"
                                                                         "down"));
    CliRun run = cli({u"fetch"_s});
    EXPECT_TRUE(run.out.startsWith(u"Claude error: API returned HTTP 500: \uFFFD[2J\uFFFD]0;owned\uFFFDdown\n"_s))
        << run.out.toStdString();
    // With no provider answering, fetch fails and writes nothing.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(HistoryStore::load().isEmpty());
    EXPECT_FALSE(QFile::exists(*widgetSnapshotPath()));

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

    for (const CliRun* each : {&std::as_const(run), &json}) {
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
            struct stat info = {};
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
