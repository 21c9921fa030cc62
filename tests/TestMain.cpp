// SPDX-License-Identifier: MIT
// Shared test entry point: every test process gets its own empty home, config, data and
// temporary folders, so no test reads or writes the developer's real files.
#include <QDir>
#include <QTemporaryDir>
#ifdef TALLYVUE_TEST_GUI
#include <QApplication>
#else
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/tallyvue-test-XXXXXX"));
    if (!sandbox.isValid())
        return 2;
    const QByteArray root = QFile::encodeName(sandbox.path());
    for (const char* sub : {"home", "config", "data", "cache", "tmp", "runtime"})
        QDir(sandbox.path()).mkpath(QString::fromLatin1(sub));
    // Qt insists on a private runtime folder.
    QFile::setPermissions(sandbox.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto place = [&root](const char* name, const char* sub) {
        setenv(name, QByteArray(root + '/' + sub).constData(), 1);
    };
    place("HOME", "home");
    place("XDG_CONFIG_HOME", "config");
    place("XDG_DATA_HOME", "data");
    place("XDG_CACHE_HOME", "cache");
    place("XDG_RUNTIME_DIR", "runtime");
    place("TMPDIR", "tmp");
    // Tests that need a session bus start their own and point this at it.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    for (const char* name : {"CLAUDE_CODE_OAUTH_TOKEN", "CLAUDE_CONFIG_DIR", "CODEX_HOME", "TALLYVUE_CLAUDE_API",
                             "TALLYVUE_CHATGPT_API", "TALLYVUE_COPILOT_API", "TALLYVUE_KEYCHAIN_TOOL"})
        unsetenv(name);
#ifdef TALLYVUE_TEST_GUI
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
