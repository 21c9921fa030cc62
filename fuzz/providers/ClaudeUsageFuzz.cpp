// SPDX-License-Identifier: MIT
// The Claude usage decoder on arbitrary bytes: a value or an error text, never a crash.
#include "model/Timestamp.h"
#include "providers/ClaudeUsage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto decoded =
        tallyvue::decodeUsageResponse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (decoded && decoded->limits) {
        for (const tallyvue::UsageLimit& limit : *decoded->limits)
            (void)tallyvue::parseTimestamp(limit.resetsAt);
    }
    return 0;
}
