// SPDX-License-Identifier: MIT
#include "logic/SnapshotDecoder.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

// Dates: whole seconds as written, fractions, offsets and bare dates from other writers, and nothing ambiguous.
TEST(SnapshotDecoder, ReadsDates)
{
    const std::pair<const char*, const char*> readable[] = {
        {"2026-01-05T14:03:27Z", "2026-01-05T14:03:27.000Z"},
        {"2026-01-05T14:03:27.250Z", "2026-01-05T14:03:27.250Z"},
        {"2026-01-05T14:03:27.1234567Z", "2026-01-05T14:03:27.123Z"},
        {"2026-01-05T15:03:27+01:00", "2026-01-05T14:03:27.000Z"},
        {"2026-01-05T09:33:27.5-04:30", "2026-01-05T14:03:27.500Z"},
        {"2024-02-29T00:00:00Z", "2024-02-29T00:00:00.000Z"},
        {"2026-01-05", "2026-01-05T00:00:00.000Z"},
    };
    for (const auto& [text, expected] : readable) {
        SCOPED_TRACE(text);
        const auto date = parseSnapshotDate(QString::fromLatin1(text));
        ASSERT_TRUE(date);
        EXPECT_EQ(date->toString(Qt::ISODateWithMs).toStdString(), expected);
    }
    for (const char* text :
         {"2026-01-05T", "2026-01-05T14:03:27", "2026-01-05 14:03:27Z", "2026-01-05T14:03Z", "2026-01-05T14:03:27.Z",
          "2026-02-30T00:00:00Z", "2025-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-01-05T24:00:00Z",
          "2026-01-05T14:60:00Z", "2026-01-05T14:03:60Z", "2026-01-05T14:03:27+0100", "2026-01-05T14:03:27Zjunk",
          "26-01-05T14:03:27Z", "+2026-01-05T14:03:27Z", ""}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseSnapshotDate(QString::fromLatin1(text)));
    }
}
