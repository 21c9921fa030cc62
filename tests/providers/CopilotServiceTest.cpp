// SPDX-License-Identifier: MIT
#include "ProviderTest.h"

#include "providers/CopilotService.h"

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;
using Kind = UsageServiceError::Kind;

TEST(CopilotAppsFile, ParseTable)
{
    const std::pair<const char*, ServiceResult<QString>> cases[] = {
        {R"({"github.com:Iv1.a":{"oauth_token":""},"github.com:Iv1.b":{"user":"u","oauth_token":"gho_b"}})",
         u"gho_b"_s},
        {R"({"a":{"oauth_token":7},"b":"text","c":{"oauth_token":"gho_c"}})", u"gho_c"_s},
        {R"({"a":{},"b":{"user":"u"}})", UsageServiceError::of(Kind::TokenNotFound)},
        {"{}", UsageServiceError::of(Kind::TokenNotFound)},
        {R"([{"oauth_token":"x"}])", UsageServiceError::of(Kind::TokenParseError)},
        {"{broken", UsageServiceError::of(Kind::TokenParseError)},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json);
        expectResult(CopilotService::parseAppsFile(QByteArray(json)), expected);
    }
}

// Defaults, truncation, out-of-range counts, titles and the fixed rank order.
TEST(CopilotParse, Snapshots)
{
    const auto usage = CopilotService::parseUsage(R"({
        "copilot_plan": "individual", "quota_reset_date": "2025-10-01",
        "quota_snapshots": {
            "completions": {"unlimited": true, "percent_remaining": 100},
            "premium_requests_extra": {"credits_used": 12.9, "entitlement": 1e30, "percent_remaining": 120},
            "chat": {"credits_used": "5", "entitlement": 300, "percent_remaining": -5},
            "premium_interactions": {"credits_used": 40, "entitlement": 300, "percent_remaining": 86.5,
                                     "unlimited": "no"},
            "broken": 3,
            "empty": {}}})");
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->plan, u"individual"_s);
    EXPECT_EQ(usage->resetDate, u"2025-10-01"_s);
    const QList<CopilotQuota> expected = {
        {u"premium_interactions"_s, u"Premium Interactions"_s, false, 86.5, 40, 300},
        {u"chat"_s, u"Chat"_s, false, -5, 0, 300},
        {u"completions"_s, u"Completions"_s, true, 100, 0, 0},
        {u"empty"_s, u"Empty"_s, false, 100, 0, 0},
        {u"premium_requests_extra"_s, u"Premium Requests Extra"_s, false, 120, 12, 0},
    };
    EXPECT_EQ(usage->quotas, expected);

    // The unlimited quota has no metric; percents are used ones, clamped.
    const QDateTime reset = QDateTime(QDate(2025, 10, 1), QTime(0, 0), Qt::UTC);
    const auto metric = [&](const char* kind, const char* title, double percent) {
        return ProviderMetric{
            AIProvider::Copilot, QString::fromLatin1(kind), QString::fromLatin1(title), percent, reset, 2592000.0};
    };
    EXPECT_EQ(copilotMetrics(*usage),
              (QList<ProviderMetric>{metric("premium_interactions", "Premium Interactions", 13.5),
                                     metric("chat", "Chat", 100), metric("empty", "Empty", 0),
                                     metric("premium_requests_extra", "Premium Requests Extra", 0)}));
}

// Members of the wrong type count as absent; a body that is no JSON object, or a quota list that
// is not an object, is an answer that could not be read, never a credentials problem.
TEST(CopilotParse, OddShapes)
{
    const auto bare = CopilotService::parseUsage(R"({"copilot_plan": 5, "quota_snapshots": null})");
    ASSERT_TRUE(bare);
    EXPECT_EQ(*bare, CopilotUsage{});
    const std::pair<const char*, const char*> failures[] = {
        {"[]", "The Copilot response is not a JSON object."},
        {"", "The Copilot response is not a JSON object."},
        {"<html>502</html>", "The Copilot response is not a JSON object."},
        {R"({"quota_snapshots": [{"chat": {"percent_remaining": 5}}]})",
         "The Copilot response has a wrong type for \"quota_snapshots\": expected an object."},
        {R"({"quota_snapshots": 3})",
         "The Copilot response has a wrong type for \"quota_snapshots\": expected an object."},
    };
    for (const auto& [body, text] : failures) {
        SCOPED_TRACE(body);
        const auto usage = CopilotService::parseUsage(QByteArray(body));
        ASSERT_FALSE(usage);
        EXPECT_EQ(usage.error(), UsageServiceError::decodingFailed(QString::fromUtf8(text)));
    }
}
