// SPDX-License-Identifier: MIT
#include "views/common/UsageState.h"

#include "refresh/UsageViewModel.h"

namespace tallyvue {

namespace {
std::function<QDateTime()>& clockFunction()
{
    static std::function<QDateTime()> clock;
    return clock;
}
} // namespace

UsageState UsageState::from(const UsageViewModel& viewModel)
{
    UsageState state;
    state.usage = viewModel.usage();
    state.errorMessage = viewModel.errorMessage();
    state.codexUsage = viewModel.codexUsage();
    state.codexError = viewModel.codexError();
    state.copilotUsage = viewModel.copilotUsage();
    state.copilotError = viewModel.copilotError();
    state.isLoading = viewModel.isLoading();
    state.history = viewModel.history();
    state.lastUpdated = viewModel.lastUpdated();
    state.now = viewModel.now();
    state.allMetrics = viewModel.allMetrics();
    state.localUsage = viewModel.sharedLocalUsage();
    for (const AIProvider provider : kAllProviders) {
        state.notices[static_cast<std::size_t>(provider)] = viewModel.notice(provider);
        state.lastGood[static_cast<std::size_t>(provider)] = viewModel.lastGood(provider);
        state.sources[static_cast<std::size_t>(provider)] = viewModel.source(provider);
    }
    return state;
}

QList<ProviderMetric> UsageState::metrics(AIProvider provider) const
{
    QList<ProviderMetric> result;
    for (const ProviderMetric& metric : allMetrics) {
        if (metric.provider == provider)
            result.append(metric);
    }
    return result;
}

bool UsageState::hasData(AIProvider provider) const
{
    switch (provider) {
    case AIProvider::Claude: return usage.has_value();
    case AIProvider::ChatGPT: return codexUsage.has_value();
    case AIProvider::Copilot: return copilotUsage.has_value();
    }
    return false;
}

const std::optional<QString>& UsageState::error(AIProvider provider) const
{
    switch (provider) {
    case AIProvider::Claude: return errorMessage;
    case AIProvider::ChatGPT: return codexError;
    case AIProvider::Copilot: return copilotError;
    }
    return errorMessage;
}

ViewClock& ViewClock::instance()
{
    static ViewClock clock;
    return clock;
}

ViewClock::ViewClock()
{
    m_timer.setInterval(std::chrono::seconds(15));
    connect(&m_timer, &QTimer::timeout, this, &ViewClock::tick);
    m_timer.start();
}

QDateTime viewNow()
{
    const auto& clock = clockFunction();
    return clock ? clock() : QDateTime::currentDateTimeUtc();
}

void setViewClock(std::function<QDateTime()> clock)
{
    clockFunction() = std::move(clock);
}

} // namespace tallyvue
