// SPDX-License-Identifier: MIT
// The Codex usage reader and its metrics on any JSON object.
#include "providers/CodexService.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!document.isObject())
        return 0;
    const QDateTime fetchedAt = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);
    const tallyvue::CodexUsage usage = tallyvue::CodexService::parseUsage(document.object(), fetchedAt);
    for (const tallyvue::CodexWindow& window : usage.windows)
        (void)window.resetDescription(fetchedAt);
    (void)tallyvue::codexMetrics(usage);
    return 0;
}
