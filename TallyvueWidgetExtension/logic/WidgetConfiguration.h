// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>
#include <QString>

#include <optional>

namespace tallyvue::widget {

inline constexpr QStringView kWidgetKind = u"com.tallyvue.app.widget.usage";
inline constexpr QStringView kWidgetDisplayName = u"Tallyvue Usage";
inline constexpr QStringView kWidgetDescription = u"Remaining Claude, ChatGPT and Copilot usage.";

/// The shared container both programs agree on, under the user's data folder.
inline constexpr QStringView kSharedContainer = u"K2V8R4NW7T.com.tallyvue.shared";
inline constexpr QStringView kSnapshotFileName = u"widgetSnapshot.json";

enum class WidgetFamily { Small, Medium };

QString rawValue(WidgetFamily family);
/// "small" or "medium"; anything else is no family.
std::optional<WidgetFamily> familyFromRaw(QStringView raw);
/// The family's size in logical pixels.
QSize familySize(WidgetFamily family);

} // namespace tallyvue::widget
