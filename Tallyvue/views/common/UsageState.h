// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "local/LocalUsageEvent.h"
#include "model/ProviderMetric.h"
#include "providers/ClaudeUsage.h"
#include "providers/CodexService.h"
#include "providers/CopilotService.h"
#include "providers/UsageServiceError.h"
#include "refresh/UsageViewModel.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tallyvue {

/**
 * What the views draw: a copy of the coordinator's state at one moment (the lists share their
 * data, so a copy is cheap). Views never reach into the coordinator; the popover hands them
 * this and forwards their requests (refresh, quit) as signals.
 */
struct UsageState
{
    std::optional<UsageResponse> usage;
    std::optional<QString> errorMessage;
    std::optional<CodexUsage> codexUsage;
    std::optional<QString> codexError;
    std::optional<CopilotUsage> copilotUsage;
    std::optional<QString> copilotError;
    bool isLoading = false;
    QList<UsageSnapshot> history;
    std::optional<QDateTime> lastUpdated;
    QDateTime now;
    QList<ProviderMetric> allMetrics;
    /// The last scan's events, shared with the coordinator; a new scan brings a new list.
    std::shared_ptr<const std::vector<LocalUsageEvent>> localUsage =
        std::make_shared<const std::vector<LocalUsageEvent>>();

    /// Per provider (in AIProvider order): what to do about its failure, and the values it
    /// delivered last, while it fails.
    std::array<std::optional<ProviderNotice>, 3> notices;
    std::array<std::optional<LastGoodValues>, 3> lastGood;
    /// Where the figures come from while an agent's stand in for the provider's service.
    std::array<std::optional<FigureSource>, 3> sources;

    static UsageState from(const UsageViewModel& viewModel);

    QList<ProviderMetric> metrics(AIProvider provider) const;
    /// The provider's record is held.
    bool hasData(AIProvider provider) const;
    /// The provider's last error text.
    const std::optional<QString>& error(AIProvider provider) const;
    const std::optional<ProviderNotice>& notice(AIProvider provider) const
    {
        return notices[static_cast<std::size_t>(provider)];
    }
    /// "from Claude Code, 3 min ago" while an agent's figures stand in; else empty. With
    /// `withHint`, what would give live figures follows on a line of its own.
    QString sourceNote(AIProvider provider, bool withHint = false) const
    {
        const auto& source = sources[static_cast<std::size_t>(provider)];
        if (!source)
            return {};
        const QString text = figureSourceText(*source, now);
        return withHint && !source->hint.isEmpty() ? text + u'\n' + source->hint : text;
    }
    const std::optional<LastGoodValues>& lastGoodValues(AIProvider provider) const
    {
        return lastGood[static_cast<std::size_t>(provider)];
    }
};

/**
 * The one tick of every "… ago" text: the popover and the details window redraw them on the
 * same tick from the same clock, so they never disagree.
 */
class ViewClock : public QObject
{
    Q_OBJECT

public:
    static ViewClock& instance();
    /// Redraw now (tests, and a window that has just been shown).
    void tick() { Q_EMIT ticked(); }

Q_SIGNALS:
    void ticked();

private:
    ViewClock();
    QTimer m_timer;
};

/// The wall clock of the views (countdowns, projections, "Updated ..."); the gallery and the
/// tests pin it.
QDateTime viewNow();
void setViewClock(std::function<QDateTime()> clock);

} // namespace tallyvue
