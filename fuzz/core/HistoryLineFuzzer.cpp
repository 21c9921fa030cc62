// SPDX-License-Identifier: MIT
// Any bytes as one history line: decoding never crashes, and whatever decodes writes back
// to a line that decodes to the same snapshot.
#include "history/HistoryStore.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tallyvue;
    const auto snapshot = HistoryStore::decodeLine(QByteArrayView(data, qsizetype(size)));
    if (!snapshot)
        return 0;
    const auto line = HistoryStore::encodeLine(*snapshot);
    if (!line)
        return 0;
    const auto again = HistoryStore::decodeLine(*line);
    if (!again || HistoryStore::encodeLine(*again) != line)
        std::abort();
    return 0;
}
