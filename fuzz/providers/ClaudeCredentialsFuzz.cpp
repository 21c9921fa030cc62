// SPDX-License-Identifier: MIT
// The Claude credential document reader (keychain secret or credentials file) on arbitrary bytes.
#include "providers/UsageService.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);
    (void)tallyvue::UsageService::extractAccessToken(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                                     now);
    return 0;
}
