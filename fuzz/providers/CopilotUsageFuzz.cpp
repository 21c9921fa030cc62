// SPDX-License-Identifier: MIT
// The Copilot usage reader and its metrics on arbitrary bytes.
#include "providers/CopilotService.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto usage =
        tallyvue::CopilotService::parseUsage(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (usage)
        (void)tallyvue::copilotMetrics(*usage);
    return 0;
}
