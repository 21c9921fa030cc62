// SPDX-License-Identifier: MIT
#include "model/AIProvider.h"

using namespace Qt::StringLiterals;

namespace tallyvue {

QString rawValue(AIProvider provider)
{
    switch (provider) {
    case AIProvider::Claude: return u"Claude"_s;
    case AIProvider::ChatGPT: return u"ChatGPT"_s;
    case AIProvider::Copilot: return u"Copilot"_s;
    }
    return {};
}

QString productName(AIProvider provider)
{
    switch (provider) {
    case AIProvider::Claude: return u"Claude Code"_s;
    case AIProvider::ChatGPT: return u"ChatGPT / Codex"_s;
    case AIProvider::Copilot: return u"GitHub Copilot"_s;
    }
    return {};
}

QString logoName(AIProvider provider)
{
    switch (provider) {
    case AIProvider::Claude: return u"LogoClaude"_s;
    case AIProvider::ChatGPT: return u"LogoOpenAI"_s;
    case AIProvider::Copilot: return u"LogoCopilot"_s;
    }
    return {};
}

std::optional<AIProvider> providerFromRaw(QStringView raw)
{
    for (AIProvider provider : kAllProviders) {
        if (raw == rawValue(provider))
            return provider;
    }
    return std::nullopt;
}

} // namespace tallyvue
