// SPDX-License-Identifier: MIT
// Any bytes as a snapshot file: decoding never crashes, and a decoded snapshot encodes to a
// file that decodes to the same snapshot.
#include "widget_snapshot/WidgetSnapshot.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tallyvue;
    const auto snapshot = decodeWidgetSnapshot(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!snapshot)
        return 0;
    const QByteArray encoded = encodeWidgetSnapshot(*snapshot);
    const auto again = decodeWidgetSnapshot(encoded);
    if (!again || encodeWidgetSnapshot(*again) != encoded)
        std::abort();
    return 0;
}
