// SPDX-License-Identifier: MIT
// The shared timestamp parser: any text gives a date or nothing, and the text and UTF-16 entry
// points agree.
#include "model/Timestamp.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<tallyvue::EpochMs> ms = tallyvue::parseTimestampMs(text);
    const QString utf16 = QString::fromUtf8(text.data(), qsizetype(text.size()));
    const std::optional<QDateTime> date = tallyvue::parseTimestamp(utf16);
    // Only valid UTF-8 survives the round trip through QString unchanged.
    if (utf16.toUtf8() == QByteArray(text.data(), qsizetype(text.size())) && ms.has_value() != date.has_value())
        std::abort();
    (void)tallyvue::parseWholeSecondTimestamp(utf16);
    return 0;
}
