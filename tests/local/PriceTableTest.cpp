// SPDX-License-Identifier: MIT
#include "TranscriptFixtures.h"

#include "local/LocalUsageCost.h"
#include "local/PriceTable.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tallyvue;
using namespace Qt::StringLiterals;
using tallyvue::test::at;

namespace {

const PriceTable& testTable()
{
    static const PriceTable table = PriceTable::parse(QByteArray(test::kTestPrices)).value();
    return table;
}

struct Tokens
{
    std::int64_t input = 0;
    std::int64_t output = 0;
    std::int64_t cacheWrite = 0;
    std::int64_t cacheRead = 0;
    std::int64_t write5m = 0;
    std::int64_t write1h = 0;
};

LocalUsageEvent event(AIProvider provider, const char* model, Tokens t, EpochMs when = at("2026-06-01T12:00:00Z"))
{
    LocalUsageEvent e;
    e.provider = provider;
    e.timestamp = when;
    e.model = InternedString(model);
    e.project = InternedString("p");
    e.inputTokens = t.input;
    e.outputTokens = t.output;
    e.cacheCreationTokens = t.cacheWrite;
    e.cacheReadTokens = t.cacheRead;
    e.cacheCreation5mTokens = std::int32_t(t.write5m);
    e.cacheCreation1hTokens = std::int32_t(t.write1h);
    return e;
}

constexpr std::int64_t M = 1'000'000;

} // namespace

// Each token kind at its own rate, tiers by the whole prompt of one request, one-hour
// against five-minute cache writes, price changes by date, and how models are found.
TEST(PriceTable, CostOfOneEvent)
{
    constexpr auto Claude = AIProvider::Claude;
    constexpr auto ChatGPT = AIProvider::ChatGPT;
    struct Case
    {
        const char* what;
        LocalUsageEvent event;
        std::optional<double> usd;
    };
    const Case cases[] = {
        {"input", event(Claude, "claude-flat", {.input = M}), 3.0},
        {"output", event(Claude, "claude-flat", {.output = M}), 15.0},
        {"cache write of no stated duration", event(Claude, "claude-flat", {.cacheWrite = M}), 3.75},
        {"cache read", event(Claude, "claude-flat", {.cacheRead = M}), 0.3},
        {"five-minute and one-hour writes",
         event(Claude, "claude-flat", {.cacheWrite = M, .write5m = 400'000, .write1h = 600'000}), 0.4 * 3.75 + 0.6 * 6},
        {"one-hour writes and the unstated rest", event(Claude, "claude-flat", {.cacheWrite = M, .write1h = 250'000}),
         0.75 * 3.75 + 0.25 * 6},
        {"tiered, prompt at the threshold",
         event(Claude, "claude-tiered", {.input = 150'000, .output = 1000, .cacheRead = 50'000}),
         (150'000 * 3 + 1000 * 15 + 50'000 * 0.3) / 1e6},
        {"tiered, prompt above the threshold",
         event(Claude, "claude-tiered", {.input = 150'000, .output = 1000, .cacheRead = 50'001}),
         (150'000 * 6 + 1000 * 22.5 + 50'001 * 0.6) / 1e6},
        {"tiered model without a write price: writes cost input",
         event(Claude, "claude-tiered", {.cacheWrite = 300'000}), 0.3 * 6},
        {"before a price change", event(Claude, "claude-later-20260101", {.input = M}, at("2026-03-12T23:59:59Z")),
         10.0},
        {"from the day of the change", event(Claude, "claude-later-20260101", {.input = M}, at("2026-03-13T00:00:00Z")),
         5.0},
        {"dated id, another case, blanks", event(Claude, " Claude-Flat-20250929 ", {.input = M}), 3.0},
        {"dated id found with dashes", event(ChatGPT, "gpt-4.1-20250414", {.input = M}), 2.0},
        {"no date in a date's place", event(ChatGPT, "gpt-4.1-20251399", {.input = M}), std::nullopt},
        {"provider prefix", event(Claude, "anthropic/claude-flat-latest", {.output = M}), 15.0},
        {"another provider's model in a Claude transcript", event(Claude, "openai/gpt-5", {.input = M}), 1.25},
        {"another provider's model, by its name alone", event(Claude, "gpt-5", {.input = M}), 1.25},
        {"Codex: uncached input, cached input, output",
         event(ChatGPT, "gpt-5-codex", {.input = 1000, .output = 500, .cacheRead = 9000}),
         (1000 * 1.25 + 500 * 10 + 9000 * 0.125) / 1e6},
        {"cached input without its own price costs input", event(ChatGPT, "gpt-4.1-2025-04-14", {.cacheRead = M}), 2.0},
        {"a damaged negative count costs nothing", event(Claude, "claude-flat", {.input = -M, .output = 1}), 15e-6},
        {"unknown model", event(Claude, "unknown", {.input = M}), std::nullopt},
        {"model of no listed provider", event(ChatGPT, "llama-3-70b", {.input = M}), std::nullopt},
        {"model without token prices", event(Claude, "claude-audio", {.input = M}), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<double> usd = testTable().costUsd(c.event);
        ASSERT_EQ(usd.has_value(), c.usd.has_value());
        if (usd) {
            EXPECT_NEAR(*usd, *c.usd, 1e-12);
        }
    }
}

// Totals over a half-open range count unpriced requests apart and stay exact: six requests
// of $0.0225 make $0.135, which rounds up (a plain sum of doubles gives 0.13499999999999998).
TEST(PriceTable, CostOfARange)
{
    std::vector<LocalUsageEvent> events;
    for (int i = 0; i < 6; ++i)
        events.push_back(
            event(AIProvider::Claude, "claude-flat", {.cacheWrite = 6000}, at("2026-06-01T10:00:00Z") + i));
    events.push_back(event(AIProvider::Claude, "claude-x", {.input = 5}, at("2026-06-01T10:30:00Z")));
    events.push_back(event(AIProvider::Claude, "claude-flat", {.input = M}, at("2026-06-01T11:00:00Z")));
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(at("2026-06-01T10:00:00Z"));
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(at("2026-06-01T11:00:00Z"));
    const LocalUsageCost cost = localUsageCost(events, from, to, testTable());
    EXPECT_EQ(cost.pricedRequests, 6);
    EXPECT_EQ(cost.unpricedRequests, 1);
    EXPECT_EQ(costText(cost.usd), u"$0.14");
    EXPECT_EQ(costText(999.995), u"$1,000.00");
    EXPECT_EQ(approximateCostText(9.995), u"≈ $10");
}

// A table with a pattern the program cannot use, or a negative price, is refused.
TEST(PriceTable, RefusesBrokenTables)
{
    const auto table = [](const char* model) -> QByteArray {
        return R"({"source": "s", "version": "1", "date": "2026-01-01", "providers": [{"id": "a", "providerMatch":
           {"contains": "a"}, "modelMatch": {"contains": "a"}, "models": [)" +
               QByteArray(model) + "]}]}";
    };
    QString error;
    EXPECT_TRUE(PriceTable::parse(table(R"({"id": "m", "match": {"equals": "m"}, "prices": [{"input": 1}]})"), &error))
        << error.toStdString();
    EXPECT_FALSE(PriceTable::parse(table(R"({"id": "m", "match": {"regex": "("}, "prices": [{"input": 1}]})"), &error));
    EXPECT_TRUE(error.startsWith(u"providers[0].models[0].match.regex: ")) << error.toStdString();
    EXPECT_FALSE(
        PriceTable::parse(table(R"({"id": "m", "match": {"equals": "m"}, "prices": [{"input": -1}]})"), &error));
    EXPECT_TRUE(error.startsWith(u"providers[0].models[0].prices[0].input: ")) << error.toStdString();
}
