// SPDX-License-Identifier: MIT
// The Copilot apps.json reader on arbitrary bytes.
#include "providers/CopilotService.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)tallyvue::CopilotService::parseAppsFile(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
