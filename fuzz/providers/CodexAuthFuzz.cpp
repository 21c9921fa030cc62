// SPDX-License-Identifier: MIT
// The Codex auth.json reader on arbitrary bytes.
#include "providers/CodexService.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)tallyvue::CodexService::parseAuthFile(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
