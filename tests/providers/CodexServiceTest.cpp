// SPDX-License-Identifier: MIT
#include "ProviderTest.h"

#include "providers/CodexService.h"
#include "support/Await.h"
#include "support/OutputCapture.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;
using Kind = UsageServiceError::Kind;

namespace {

const QDateTime kFetched = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);

CodexUsage parse(const QByteArray& json)
{
    return CodexService::parseUsage(QJsonDocument::fromJson(json).object(), kFetched);
}

} // namespace

// Windows from every container ("rate_limit", "code_review_rate_limit", each additional limit),
// named by their member and prefix, lengths from minutes or seconds, resets from either member,
// and ranked primary, secondary, then the rest.
TEST(CodexParse, ContainersAndOrder)
{
    const CodexUsage usage = parse(R"({
        "plan_type": "plus", "plan": "ignored",
        "rate_limit": {"limit_reached": true, "allowed": true,
            "secondary_window": {"used_percent": 10, "window_minutes": 10080, "resets_in_seconds": 50000},
            "primary_window": {"used_percent": 42, "limit_window_seconds": 18000, "reset_after_seconds": 3600}},
        "code_review_rate_limit": {"primary_window": {"used_percent": 5, "window_minutes": 300}},
        "additional_rate_limits": [
            {"limit_name": "gpt_pro", "rate_limit": {"primary_window": {"used_percent": "1.5"}}},
            {"rate_limit": {"primary_window": {"used_percent": 2, "window_minutes": 300}}}],
        "credits": {"balance": "12.25"}})");
    EXPECT_EQ(usage.plan, u"plus"_s);
    EXPECT_TRUE(usage.limitReached);
    EXPECT_EQ(usage.creditBalance, 12.25);
    EXPECT_EQ(usage.fetchedAt, kFetched);
    const QList<CodexWindow> expected = {
        CodexWindow{u"primary"_s, u"5-Hour"_s, 42, 3600, 300},
        CodexWindow{u"secondary"_s, u"7-Day"_s, 10, 50000, 10080},
        CodexWindow{u"code_review.primary"_s, u"Code Review 5-Hour"_s, 5, std::nullopt, 300},
        CodexWindow{u"gpt_pro.primary"_s, u"Gpt Pro Primary"_s, 1.5, std::nullopt, std::nullopt},
        CodexWindow{u"additional.primary"_s, u"Additional 5-Hour"_s, 2, std::nullopt, 300},
    };
    EXPECT_EQ(usage.windows, expected);
    // Without a length the member names the window, its odd spelling tidied.
    EXPECT_EQ(CodexService::windowTitle(u"secondary"_s, std::nullopt, std::nullopt), u"Weekly"_s);
    EXPECT_EQ(CodexService::windowTitle(u"code__review_"_s, std::nullopt, std::nullopt), u"Code Review"_s);
    EXPECT_EQ(CodexService::windowTitle(u"primary"_s, 90, std::nullopt), u"90-Min"_s);
}

// The number-or-numeric-string rule, clamping, and the length and reset fallbacks.
TEST(CodexParse, WindowValues)
{
    const auto w = [](double percent, std::optional<std::int64_t> resets = std::nullopt,
                      std::optional<std::int64_t> minutes = std::nullopt) {
        return CodexWindow{u"w"_s, minutes ? CodexService::windowTitle(u"w"_s, minutes, std::nullopt) : u"W"_s, percent,
                           resets, minutes};
    };
    // A window's members, and what it reads as (nothing: the window is skipped).
    const std::pair<const char*, std::optional<CodexWindow>> cases[] = {
        {R"({"used_percent": "37.5"})", w(37.5)},
        {R"({"used_percent": "+5"})", w(5)},
        {R"({"used_percent": "1e1"})", w(10)},
        {R"({"used_percent": 130})", w(100)},
        {R"({"used_percent": -4})", w(0)},
        {R"({"used_percent": " 37"})", std::nullopt},
        {R"({"used_percent": "37 "})", std::nullopt},
        {R"({"used_percent": "37,5"})", std::nullopt},
        {R"({"used_percent": "inf"})", std::nullopt},
        {R"({"used_percent": "nan"})", std::nullopt},
        {R"({"used_percent": ""})", std::nullopt},
        {R"({"used_percent": true})", std::nullopt},
        {R"({"used_percent": null})", std::nullopt},
        {R"({"window_minutes": 300})", std::nullopt},
        {R"({"used_percent": 1, "window_minutes": 90.5, "limit_window_seconds": 5430})", w(1, std::nullopt, 90)},
        {R"({"used_percent": 1, "window_minutes": 90.5})", w(1)},
        {R"({"used_percent": 1, "window_minutes": "300", "limit_window_seconds": "600.9"})", w(1, std::nullopt, 10)},
        {R"({"used_percent": 1, "window_minutes": 300.0})", w(1, std::nullopt, 300)},
        {R"({"used_percent": 1, "limit_window_seconds": 1e300})", w(1)},
        {R"({"used_percent": 1, "resets_in_seconds": 59.9, "reset_after_seconds": 7})", w(1, 59)},
        {R"({"used_percent": 1, "resets_in_seconds": -1.5})", w(1, -1)},
        {R"({"used_percent": 1, "resets_in_seconds": "x", "reset_after_seconds": "7"})", w(1, 7)},
        {R"({"used_percent": 1, "resets_in_seconds": 1e30, "reset_after_seconds": 7})", w(1, 7)},
    };
    for (const auto& [members, expected] : cases) {
        SCOPED_TRACE(members);
        const CodexUsage usage = parse(QByteArray("{\"rate_limits\": {\"w\": ").append(members).append("}}"));
        EXPECT_EQ(usage.windows, expected ? QList<CodexWindow>{*expected} : QList<CodexWindow>{});
    }
}

// auth.json is read like a typed record: a wrong type anywhere in "tokens" spoils it.
TEST(CodexAuth, ParseTable)
{
    using Login = std::pair<QString, std::optional<QString>>; // access token, account id
    const auto notFound = UsageServiceError::of(Kind::TokenNotFound);
    const std::pair<const char*, ServiceResult<Login>> cases[] = {
        {R"({"tokens":{"access_token":"a","account_id":"acc"},"OPENAI_API_KEY":null})", Login{u"a"_s, u"acc"_s}},
        {R"({"tokens":{"access_token":"a","account_id":""}})", Login{u"a"_s, u""_s}},
        {R"({"tokens":{"access_token":"a","account_id":null}})", Login{u"a"_s, std::nullopt}},
        {R"({"tokens":{"access_token":"a"}})", Login{u"a"_s, std::nullopt}},
        {R"({"tokens":{"access_token":"a","account_id":5}})", notFound},
        {R"({"tokens":{"access_token":""}})", notFound},
        {R"({"tokens":{"access_token":7}})", notFound},
        {R"({"tokens":null})", notFound},
        {R"({"access_token":"a"})", notFound},
        {R"([{"tokens":{"access_token":"a"}}])", notFound},
        {"", notFound},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json);
        const auto auth = CodexService::parseAuthFile(QByteArray(json));
        expectResult(auth ? ServiceResult<Login>(Login{auth->accessToken, auth->accountId}) : auth.error(), expected);
    }
}

class CodexFetch : public ServerTest
{
protected:
    static void login(const QByteArray& json) { writeFile(QDir::homePath() + u"/.codex/auth.json"_s, json); }
};

// The headers as the Codex CLI sends them; the account header follows the login file exactly.
TEST_F(CodexFetch, HeadersAndAccountId)
{
    server.setResponse("/backend-api/wham/usage", ScriptedResponse::json(200, R"({"rate_limit":{}})"));
    const std::pair<QByteArray, std::optional<QByteArray>> cases[] = {
        {R"({"tokens":{"access_token":"tok","account_id":"acc-1"}})", QByteArray("acc-1")},
        {R"({"tokens":{"access_token":"tok","account_id":""}})", QByteArray("")},
        {R"({"tokens":{"access_token":"tok"}})", std::nullopt},
    };
    for (const auto& [auth, account] : cases) {
        SCOPED_TRACE(auth.constData());
        login(auth);
        server.clearRequests();
        OutputCapture output;
        const auto usage = await(CodexService::fetchUsage());
        EXPECT_TRUE(output.text().isEmpty()); // nothing is logged, least of all the body
        ASSERT_TRUE(usage) << usage.error().description().toStdString();
        EXPECT_TRUE(usage->windows.isEmpty());
        ASSERT_EQ(server.requests().size(), 1);
        const RecordedRequest request = server.requests().first();
        expectRequest(request, "/backend-api/wham/usage",
                      {{"Authorization", "Bearer tok"},
                       {"Accept", "application/json"},
                       {"originator", "codex_cli_rs"},
                       {"User-Agent", "codex_cli_rs/0.30.0 (Mac OS 26.5; arm64) Terminal"}});
        if (account)
            EXPECT_EQ(request.value("chatgpt-account-id"), *account);
        else
            EXPECT_TRUE(request.values("chatgpt-account-id").isEmpty());
    }
}

TEST_F(CodexFetch, StatusHandling)
{
    login(R"({"tokens":{"access_token":"tok"}})");
    const std::tuple<int, QByteArray, const char*> cases[] = {
        {401, "{}", "ChatGPT session expired. Run `codex` in your terminal to sign in again, then refresh."},
        {200, "[]", "API returned HTTP 200: []"},
        {200, "not json", "API returned HTTP 200: not json"},
    };
    for (const auto& [status, body, text] : cases) {
        SCOPED_TRACE(status);
        server.setResponse("/backend-api/wham/usage", ScriptedResponse::json(status, body));
        const auto usage = await(CodexService::fetchUsage());
        ASSERT_FALSE(usage);
        EXPECT_EQ(usage.error().description(), QString::fromUtf8(text));
        EXPECT_EQ(usage.error().kind, status == 401 ? Kind::TokenExpired : Kind::InvalidResponse);
    }
}
