// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <array>
#include <optional>

namespace tallyvue {

/// The three providers, in the order they are shown and iterated everywhere.
enum class AIProvider { Claude, ChatGPT, Copilot };

inline constexpr std::array<AIProvider, 3> kAllProviders{AIProvider::Claude, AIProvider::ChatGPT, AIProvider::Copilot};

/// Short name: metric ids, preference keys, history and JSON ("Claude", "ChatGPT", "Copilot").
QString rawValue(AIProvider provider);
/// Long title used where a provider stands on its own ("Claude Code", ...).
QString productName(AIProvider provider);
/// Name of the logo image resource ("LogoClaude", ...).
QString logoName(AIProvider provider);
/// Exact inverse of rawValue(); anything else is no provider.
std::optional<AIProvider> providerFromRaw(QStringView raw);

} // namespace tallyvue
