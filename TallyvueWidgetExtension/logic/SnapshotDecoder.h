// SPDX-License-Identifier: MIT
#pragma once

#include "logic/UsageModel.h"

#include <QByteArray>
#include <QDateTime>

#include <optional>

namespace tallyvue::widget {

/**
 * Reads widgetSnapshot.json. A file without "timestamp" or "metrics", a metric without
 * "provider", "kind", "title" or "percent", a value of the wrong JSON type, or a provider or
 * display mode outside the known ones gives nothing: the whole file is refused. Unknown keys
 * are ignored; a missing (or null) "displayMode" reads as used; missing optional keys read as none.
 */
std::optional<WidgetSnapshot> decodeSnapshot(const QByteArray& json);

/**
 * An internet date-time with a zone ("2026-01-05T14:03:27Z", "...27.250+01:00"), fractions kept
 * to the millisecond, or a bare date read as midnight UTC. A time without a zone is refused.
 */
std::optional<QDateTime> parseSnapshotDate(QStringView text);

} // namespace tallyvue::widget
