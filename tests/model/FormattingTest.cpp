// SPDX-License-Identifier: MIT
#include "model/Formatting.h"
#include "model/Timestamp.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tallyvue;

// Every form the services and transcripts send, and the near misses that must be refused.
TEST(Timestamp, ParsesServiceForms)
{
    const EpochMs base = 1758301200000; // 2025-09-19T17:00:00Z
    const std::pair<const char*, std::optional<EpochMs>> cases[] = {
        {"2025-09-19T17:00:00Z", base},
        {"2025-09-19T17:00:00.477734+00:00", base + 477},
        {"2025-09-19T17:00:00.1Z", base + 100},
        {"2025-09-19T17:00:00.123456789Z", base + 123},
        {"2025-09-19T19:30:00+02:30", base},
        {"2025-09-19T12:00:00-05:00", base},
        {"2025-09-19", base - 17 * 3600 * 1000},
        {"2024-02-29", 1709164800000},
        {"2025-09-19T17:00:00", std::nullopt},   // no zone
        {"2025-09-19T17:00:00.Z", std::nullopt}, // empty fraction
        {"2025-09-19 17:00:00Z", std::nullopt},
        {"2025-02-29", std::nullopt},
        {"2025-13-01", std::nullopt},
        {"2025-09-19T24:00:00Z", std::nullopt},
        {"2025-09-19T17:00:00+0200", std::nullopt},
        {"2025-09-19T17:00:00Zjunk", std::nullopt},
        {"0001-01-01T00:30:00+01:00", std::nullopt}, // before year 1 in UTC
        {"9999-12-31T23:00:00-01:00", std::nullopt},
        {"", std::nullopt},
        {"null", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseTimestampMs(text), expected);
    }
}

// The stored-file form takes whole seconds with a zone only, and writes back what it read.
TEST(Timestamp, WholeSecondForm)
{
    EXPECT_TRUE(parseWholeSecondTimestamp(u"2026-01-05T14:03:22Z"));
    EXPECT_TRUE(parseWholeSecondTimestamp(u"2026-01-05T15:03:22+01:00"));
    EXPECT_FALSE(parseWholeSecondTimestamp(u"2026-01-05T14:03:22.5Z"));
    EXPECT_FALSE(parseWholeSecondTimestamp(u"2026-01-05T14:03:22"));
    EXPECT_FALSE(parseWholeSecondTimestamp(u"2026-01-05"));

    const QDateTime withMillis = dateFromEpochMs(1767621802999);
    EXPECT_EQ(formatWholeSecondTimestamp(withMillis), u"2026-01-05T14:03:22Z");
    EXPECT_EQ(formatWholeSecondTimestamp(withMillis.toOffsetFromUtc(3600)), u"2026-01-05T14:03:22Z");
    EXPECT_EQ(formatWholeSecondTimestamp(dateFromEpochMs(-1)), u"1969-12-31T23:59:59Z");
}
