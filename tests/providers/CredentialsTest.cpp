// SPDX-License-Identifier: MIT
#include "ProviderTest.h"

#include "providers/UsageService.h"
#include "support/Await.h"
#include "support/OutputCapture.h"

#include <QTemporaryDir>

#include <sys/stat.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;
using Kind = UsageServiceError::Kind;

namespace {

const QDateTime kNow = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);

} // namespace

// Where the token sits in a credential document, which object wins, and the expiry edge.
TEST(ExtractAccessToken, Table)
{
    const auto expired =
        UsageServiceError::tokenExpired(u"Claude Code token has expired. Run 'claude' to refresh it."_s);
    const auto unparsable = UsageServiceError::of(Kind::TokenParseError);
    const std::pair<QByteArray, ServiceResult<QString>> cases[] = {
        {R"({"claudeAiOauth":{"accessToken":"nested","expiresAt":1700000000000}})", u"nested"_s},
        {R"({"claudeAiOauth":{"accessToken":"nested","expiresAt":1699999999999}})", expired},
        {R"({"accessToken":"late","expiresAt":"1"})", u"late"_s},
        {R"({"accessToken":"top","m":{"accessToken":"inner"}})", u"top"_s},
        {R"({"access_token":"snake"})", u"snake"_s},
        {R"({"accessToken":5,"access_token":"snake"})", u"snake"_s},
        {R"({"accessToken":"","access_token":"snake"})", unparsable},
        {R"({"accessToken":"","m":{"access_token":"inner"}})", u"inner"_s},
        {R"({"expiresAt":1,"m":{"accessToken":"inner"}})", u"inner"_s},
        {R"({"a":{"b":{"accessToken":"deep"}}})", unparsable},
        {R"({"accessToken":null})", unparsable},
        {"  sk-ant-oat01-abc\n", u"sk-ant-oat01-abc"_s},
        {"{not json", unparsable},
        {"\xff\xfe token", unparsable},
        {" \n", unparsable},
        {"", unparsable},
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(bytes.constData());
        expectResult(UsageService::extractAccessToken(bytes, kNow), expected);
    }
}

/// The token reader with a scripted keychain tool and credential file in the test's home.
class ReadAccessToken : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        ASSERT_TRUE(m_tools.isValid());
        m_calls = m_tools.filePath(u"calls"_s);
        detail::setKeychainTimeout(std::chrono::milliseconds(3000));
    }
    void TearDown() override
    {
        detail::setKeychainTimeout(detail::kDefaultKeychainTimeout);
        ServerTest::TearDown();
    }

    /// A keychain tool that prints `secret` and exits with `status` (or hangs).
    void keychain(const QByteArray& secret, int status = 0, bool hang = false)
    {
        const QString secretFile = m_tools.filePath(u"secret"_s);
        writeFile(secretFile, secret);
        const QString script = m_tools.filePath(u"keychain-tool"_s);
        const QByteArray body = "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + m_calls.toUtf8() + "'\n" +
                                (hang ? QByteArray("exec sleep 30\n")
                                      : "cat '" + secretFile.toUtf8() + "'\nexit " + QByteArray::number(status) + "\n");
        writeFile(script, body);
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_tool.emplace("TALLYVUE_KEYCHAIN_TOOL", script.toUtf8());
    }
    /// The argument lists the tool was started with, one argument a line.
    QByteArray calls() const { return readFile(m_calls); }
    static QString defaultFile() { return QDir::homePath() + u"/.claude/.credentials.json"_s; }

    ScopedEnv m_bus{"DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=/nonexistent/bus")};
    ScopedEnv m_noToken{"CLAUDE_CODE_OAUTH_TOKEN", std::nullopt};
    std::optional<ScopedEnv> m_tool;

private:
    QTemporaryDir m_tools;
    QString m_calls;
};

// The environment variable wins untouched; an empty one is ignored.
TEST_F(ReadAccessToken, EnvironmentFirst)
{
    keychain(R"({"accessToken":"from-keychain"})");
    {
        const ScopedEnv env("CLAUDE_CODE_OAUTH_TOKEN", QByteArray(" x "));
        OutputCapture output;
        const auto token = await(UsageService::readAccessToken());
        EXPECT_EQ(output.text(), "[Tallyvue] Using token from env var\n");
        EXPECT_EQ(token.value(), u" x "_s);
        EXPECT_TRUE(calls().isEmpty());
    }
    const ScopedEnv empty("CLAUDE_CODE_OAUTH_TOKEN", QByteArray(""));
    OutputCapture output;
    const auto token = await(UsageService::readAccessToken());
    EXPECT_EQ(output.text(), "[Tallyvue] Read token from Claude Keychain\n");
    EXPECT_EQ(token.value(), u"from-keychain"_s);
    EXPECT_EQ(calls(), "lookup\nservice\nClaude Code-credentials\n");
}

// Every keychain failure is logged by case and falls through to the credentials file.
TEST_F(ReadAccessToken, KeychainFailuresFallBackToFile)
{
    writeFile(defaultFile(), R"({"claudeAiOauth":{"accessToken":"from-file"}})");
    // The case, how the tool is set up, and the start of the failure as logged.
    const std::tuple<const char*, std::function<void()>, const char*> cases[] = {
        {"non-zero exit", [&] { keychain("", 1); }, "keychainError(status: 1)"},
        {"only white space", [&] { keychain(" \n\t"); }, "keychainNotFound"},
        {"expired", [&] { keychain(R"({"accessToken":"old","expiresAt":1})"); },
         "tokenExpired(\"Claude Code token has expired. Run 'claude' to refresh it.\")"},
        {"no token inside", [&] { keychain(R"({"other":1})"); }, "tokenParseError"},
        {"hangs", [&] { keychain("", 0, true); }, "keychainUnavailable(\"secret-tool did not answer within 3000 ms\")"},
        {"missing tool", [&] { m_tool.emplace("TALLYVUE_KEYCHAIN_TOOL", QByteArray("/nonexistent/secret-tool")); },
         "keychainUnavailable(\""},
    };
    for (const auto& [name, arrange, logged] : cases) {
        SCOPED_TRACE(name);
        arrange();
        OutputCapture output;
        const auto token = await(UsageService::readAccessToken());
        const QByteArray log = output.text();
        ASSERT_TRUE(token);
        EXPECT_EQ(token.value(), u"from-file"_s);
        EXPECT_TRUE(log.startsWith(QByteArray("[Tallyvue] Claude Keychain read failed: ").append(logged)))
            << log.constData();
        EXPECT_TRUE(log.endsWith("[Tallyvue] Read token from credentials file\n")) << log.constData();
        EXPECT_FALSE(log.contains("from-file") || log.contains("old"));
    }
}

// Without a session bus the tool is not even started.
TEST_F(ReadAccessToken, NoSessionBusSkipsTheTool)
{
    keychain(R"({"accessToken":"from-keychain"})");
    writeFile(defaultFile(), R"({"accessToken":"from-file"})");
    for (const char* address : {"disabled:", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(address ? address : "unset");
        const ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", address ? std::optional(QByteArray(address)) : std::nullopt);
        const ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
        OutputCapture output;
        const auto token = await(UsageService::readAccessToken());
        EXPECT_TRUE(output.text().contains("keychainUnavailable(\"no D-Bus session bus\")"));
        EXPECT_EQ(token.value(), u"from-file"_s);
        EXPECT_TRUE(calls().isEmpty());
    }
}

// The file's own failures (missing, expired, no token, damaged) all read as "not found", never as
// the expiry text. One that is there but cannot be read says so and names the file: a FIFO (read
// without blocking), a folder, a file far larger than any login.
TEST_F(ReadAccessToken, FileFailures)
{
    keychain("", 44);
    const QByteArray path = QFile::encodeName(defaultFile());
    const QString notFound = u"OAuth token not found. Run 'claude' to authenticate first."_s;
    const auto unreadable = [](const char* why) -> QString {
        return u"Credentials file cannot be read: "_s + defaultFile() + u" ("_s + QString::fromLatin1(why) + u")."_s;
    };
    const auto contents = [](const QByteArray& text) { return [text] { writeFile(defaultFile(), text); }; };
    const std::tuple<const char*, std::function<void()>, QString> cases[] = {
        {"missing", [] {}, notFound},
        {"expired", contents(R"({"accessToken":"x","expiresAt":1})"), notFound},
        {"no token", contents(R"({"nothing":true})"), notFound},
        {"damaged", contents("{broken"), notFound},
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(path.constData(), 0600), 0); }, unreadable("it is a FIFO")},
        {"folder", [&] { QDir().mkpath(defaultFile()); }, unreadable("it is a folder")},
        {"huge", contents(QByteArray(5 * 1024 * 1024, ' ')), unreadable("it is larger than 4 MiB")},
    };
    for (const auto& [name, arrange, expected] : cases) {
        SCOPED_TRACE(name);
        QFile::remove(defaultFile());
        QDir(defaultFile()).removeRecursively();
        QDir().mkpath(QFileInfo(defaultFile()).path());
        arrange();
        OutputCapture output;
        const auto token = await(UsageService::readAccessToken());
        EXPECT_EQ(output.text(), "[Tallyvue] Claude Keychain read failed: keychainError(status: 44)\n");
        ASSERT_FALSE(token);
        EXPECT_EQ(token.error().description(), expected);
    }
}
