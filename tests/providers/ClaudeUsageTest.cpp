// SPDX-License-Identifier: MIT
#include "ProviderTest.h"

#include "providers/ClaudeUsage.h"
#include "providers/UsageService.h"
#include "support/Await.h"
#include "support/OutputCapture.h"

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

// Expected responses name only the members they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

// Optional members may be missing or null; required ones, wrong types and fractional integers
// fail the whole response with a text that names the member.
TEST(ClaudeDecode, Table)
{
    using std::nullopt;
    const std::pair<const char*, UsageResponse> decoded[] = {
        {R"({"five_hour":{"utilization":12.5,"resets_at":"2025-09-19T17:00:00.477734+00:00"}})",
         {.fiveHour = UsageWindow{12.5, u"2025-09-19T17:00:00.477734+00:00"_s}}},
        {R"({"five_hour":{"utilization":1,"resets_at":null},"seven_day_opus":null,"seven_day":{"utilization":140}})",
         {.fiveHour = UsageWindow{1, nullopt}, .sevenDay = UsageWindow{140, nullopt}}}, // as reported
        {R"({"seven_day_fable_5":{"utilization":3},"seven_day_fable":{"utilization":4},"seven_day_sonnet":{"utilization":5}})",
         {.sevenDaySonnet = UsageWindow{5, nullopt},
          .sevenDayFable = UsageWindow{4, nullopt},
          .sevenDayFable5 = UsageWindow{3, nullopt}}},
        {R"({"seven_day_fable5":{"utilization":6},"unknown":[1,{"x":null}]})",
         {.sevenDayFable5 = UsageWindow{6, nullopt}}},
        {R"({"extra_usage":{"is_enabled":true,"monthly_limit":50,"used_credits":null}})",
         {.extraUsage = ExtraUsage{true, 50.0, nullopt, nullopt}}},
        {R"({"limits":[{"kind":"weekly_opus","percent":40,"resets_at":"2025-09-19T17:00:00Z",
                        "scope":{"model":{"display_name":"Opus"}}},{"kind":"session","percent":7.5}]})",
         {.limits =
              QList<UsageLimit>{{u"weekly_opus"_s, 40, u"2025-09-19T17:00:00Z"_s, LimitScope{LimitModel{u"Opus"_s}}},
                                {u"session"_s, 7.5, nullopt, nullopt}}}},
        {R"({"limits":[]})", {.limits = QList<UsageLimit>{}}},
        {R"({"spend":{"used":{"amount_minor":1250,"currency":"USD","exponent":2},"limit":100,"enabled":false,"balance":null}})",
         {.spend = Spend{SpendAmount{1250, u"USD"_s, 2}, 100.0, nullopt, nullopt, false, nullopt}}},
        {R"({"spend":{"used":{"amount_minor":9007199254740993}}})",
         {.spend = Spend{SpendAmount{9007199254740993, nullopt, nullopt}, {}, {}, {}, {}, {}}}},
        {"{}", {}},
    };
    for (const auto& [json, expected] : decoded) {
        SCOPED_TRACE(json);
        const auto result = decodeUsageResponse(QByteArray(json));
        ASSERT_TRUE(result) << result.error().toStdString();
        EXPECT_TRUE(result.value() == expected);
    }
    const std::pair<const char*, const char*> refused[] = {
        {R"({"five_hour":{}})", "\"utilization\" at five_hour"},
        {R"({"five_hour":{"utilization":null}})", "\"utilization\" at five_hour"},
        {R"({"five_hour":{"utilization":"12"}})", "expected a number"},
        {R"({"five_hour":{"utilization":1,"resets_at":5}})", "\"resets_at\""},
        {R"({"five_hour":[]})", "expected an object"},
        {R"({"extra_usage":{}})", "\"is_enabled\" at extra_usage"},
        {R"({"limits":[{"kind":"session"}]})", "\"percent\" at limits[0]"},
        {R"({"limits":[{"kind":"a","percent":1},{"percent":1}]})", "\"kind\" at limits[1]"},
        {R"({"limits":[null]})", "limits[0]"},
        {R"({"limits":{}})", "expected an array"},
        {R"({"limits":[{"kind":"a","percent":1,"scope":{"model":{"display_name":3}}}]})", "limits[0].scope.model"},
        {R"({"spend":{"used":{"amount_minor":12.5}}})", "expected an integer"},
        {R"({"spend":{"used":{"exponent":1e19}}})", "expected an integer"},
        {"[]", "not a JSON object"},
        {"", "not valid JSON"},
        {"{\"five_hour\":", "not valid JSON"},
    };
    for (const auto& [json, errorPart] : refused) {
        SCOPED_TRACE(json);
        const auto result = decodeUsageResponse(QByteArray(json));
        ASSERT_FALSE(result);
        EXPECT_TRUE(result.error().contains(QString::fromUtf8(errorPart))) << result.error().toStdString();
    }
}

using ClaudeFetch = ServerTest;

// Every answer but 200 is an InvalidResponse with the status and body text; a 401 is the one
// the coordinator retries (its challenge is delivered, not answered); an undecodable 200 is a
// decoding failure. The request carries exactly the four headers and no Accept; the token is
// never logged. A refused origin override fails before anything is sent.
TEST_F(ClaudeFetch, StatusHandling)
{
    using enum UsageServiceError::Kind;
    // Status, body, then the error's kind and part of its text, and whether the body is logged.
    const std::tuple<int, QByteArray, UsageServiceError::Kind, const char*, bool> cases[] = {
        {401, R"({"error":"token expired"})", InvalidResponse, R"(API returned HTTP 401: {"error":"token expired"})",
         true},
        {204, "", InvalidResponse, "API returned HTTP 204: ", true},
        {201, "{}", InvalidResponse, "API returned HTTP 201: {}", true},
        {500, "\xff\xfe", InvalidResponse, "API returned HTTP 500: (empty)", false},
        {200, "{\"five_hour\":{}}", DecodingFailed, "utilization", true},
        {200, "<html>", DecodingFailed, "not valid JSON", true},
    };
    for (const auto& [status, body, kind, text, logged] : cases) {
        SCOPED_TRACE(status);
        ScriptedResponse response = ScriptedResponse::json(status, body);
        if (status == 401)
            response.headers = {{"WWW-Authenticate", "Bearer"}};
        server.setResponse("/api/oauth/usage", response);
        OutputCapture output;
        const auto result = await(UsageService::fetchUsage(u"sk-secret-token"_s));
        const QByteArray log = output.text();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind, kind);
        EXPECT_TRUE(result.error().description().contains(QString::fromUtf8(text)))
            << result.error().description().toStdString();
        EXPECT_EQ(result.error().isUnauthorized(), status == 401);
        EXPECT_EQ(log.contains("Raw API Response:"), logged);
        EXPECT_FALSE(log.contains("sk-secret-token"));
    }
    expectRequest(server.requests().first(), "/api/oauth/usage",
                  {{"Authorization", "Bearer sk-secret-token"},
                   {"Content-Type", "application/json"},
                   {"anthropic-beta", "oauth-2025-04-20"},
                   {"User-Agent", "claude-code/1.0.0"}});
    EXPECT_TRUE(server.requests().first().values("Accept").isEmpty());

    // An origin override that was refused is an invalid URL: nothing is sent anywhere.
    server.clearRequests();
    const ScopedEnv refused("TALLYVUE_CLAUDE_API", QByteArray("http://api.example.com"));
    EXPECT_EQ(await(UsageService::fetchUsage(u"t"_s)).error().description(), u"Invalid API URL."_s);
    EXPECT_TRUE(server.requests().isEmpty());
}
