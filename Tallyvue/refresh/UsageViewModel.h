// SPDX-License-Identifier: MIT
#pragma once

#include "history/HistoryStore.h"
#include "local/LocalUsageScanner.h"
#include "model/FigureSource.h"
#include "model/ProviderMetric.h"
#include "providers/ClaudeUsage.h"
#include "providers/CodexService.h"
#include "providers/CopilotService.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tallyvue {

/// How often the loop refreshes, and how fresh a Claude success may be before a
/// non-forced refresh is skipped.
struct RefreshTiming
{
    std::chrono::seconds pause;
    std::chrono::seconds minimumAge;
};

/// The stored "refreshIntervalMinutes" mapped to its timing; unknown values act like 10.
RefreshTiming refreshTiming(int storedMinutes);

/// The values a provider last delivered, kept on show while it fails.
struct LastGoodValues
{
    QList<ProviderMetric> metrics;
    QDateTime asOf;
};

/**
 * The single owner of Tallyvue's live state. It refreshes the three providers (Claude in the
 * refresh itself, ChatGPT/Codex and Copilot concurrently beside it), then scans the local
 * transcripts, records the history, evaluates the alerts and writes the widget snapshot.
 * Everything happens on the main thread; views read the state and listen to changed().
 */
class UsageViewModel : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        /// Start the refresh loop and the one-minute clock (off for one-shot use and tests).
        bool startLoops = true;
        /// The wall clock; tests move it by hand.
        std::function<QDateTime()> clock;
        /// How long the label waits for the chosen provider's first answer before it shows
        /// another provider's figure (the loop's first refresh starts at once).
        std::chrono::milliseconds firstAnswerWait{4000};
    };

    explicit UsageViewModel(QObject* parent = nullptr);
    explicit UsageViewModel(Options options, QObject* parent = nullptr);
    ~UsageViewModel() override;

    /// Claude's record on show: the last fetched, or Claude Code's figures while they stand in.
    const std::optional<UsageResponse>& usage() const { return m_claudeCodeUsage ? m_claudeCodeUsage : m_usage; }
    const std::optional<QDateTime>& lastUpdated() const { return m_lastUpdated; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool isLoading() const { return m_isLoading; }
    const std::optional<CopilotUsage>& copilotUsage() const { return m_copilotUsage; }
    const std::optional<QString>& copilotError() const { return m_copilotError; }
    const std::optional<CodexUsage>& codexUsage() const { return m_codexUsage; }
    const std::optional<QString>& codexError() const { return m_codexError; }
    const QList<UsageSnapshot>& history() const { return m_history; }
    /// What the last refresh could not store ("history not recorded: cannot write ...").
    const QStringList& storageErrors() const { return m_storageErrors; }
    const std::vector<LocalUsageEvent>& localUsage() const { return *m_localUsage; }
    /// The same events, shared: each scan result is a new list, so views can tell it is new.
    std::shared_ptr<const std::vector<LocalUsageEvent>> sharedLocalUsage() const { return m_localUsage; }
    /// Advanced once a minute so countdowns move without a fetch.
    const QDateTime& now() const { return m_now; }

    /// Claude, then ChatGPT, then Copilot metrics, from the records held now.
    QList<ProviderMetric> allMetrics() const;
    QList<ProviderMetric> metrics(AIProvider provider) const;
    std::optional<ProviderMetric> metric(QStringView id) const;

    /// The provider's last error text (errorMessage, codexError or copilotError).
    const std::optional<QString>& error(AIProvider provider) const;
    /// What the user can do about the provider's current failure; none while it works.
    const std::optional<ProviderNotice>& notice(AIProvider provider) const;
    /// While the provider fails: the values it delivered last (held, or else the newest in the
    /// history), without the windows that have ended since. None while it works.
    std::optional<LastGoodValues> lastGood(AIProvider provider) const;
    /// Where the provider's figures come from while its own service cannot be asked and a coding
    /// agent's newer figures stand in for it (the error is then not shown); none otherwise.
    const std::optional<FigureSource>& source(AIProvider provider) const;
    /// Neither a success nor a failure has come from the provider yet, and the first-answer
    /// wait has not run out.
    bool isAwaitingFirstAnswer(AIProvider provider) const;
    /// What the tray label may show: the current metrics, a failing provider's last good values
    /// in place of its own, and nothing of other providers while `chosen` is awaited.
    QList<ProviderMetric> labelMetrics(std::optional<AIProvider> chosen) const;

    /// One refresh; `force` skips the protection against refreshing too often.
    QCoro::Task<> refresh(bool force);
    /// Replaces the loop's wait between refreshes (a timer); tests hold it until they let it go.
    void setLoopSleep(std::function<QCoro::Task<>(std::chrono::seconds)> sleep) { m_sleep = std::move(sleep); }
    /// Restarts the refresh loop, which begins with a forced refresh. Also called when the
    /// stored refresh interval changes while the loop runs.
    void startAutoRefresh();
    /// Writes the widget snapshot from the metrics held now; also called when the stored
    /// display mode changes, so the widget and the CLI follow at once.
    void writeWidgetSnapshot();
    void migrateBadgeSelections();
    /// Deletes the history file and empties the loaded history; logs and keeps both when the
    /// file cannot be deleted.
    void clearHistory();

Q_SIGNALS:
    /// Any field of the state changed.
    void changed();

private:
    QCoro::Task<> runRefreshLoop(quint64 generation);
    QCoro::Task<> fetchCopilot();
    QCoro::Task<> fetchCodex();
    void storeClaudeSuccess(UsageResponse usage);
    /// After a failed or skipped Claude fetch: Claude Code's figures stand in when they are newer
    /// than the last success and none of their windows has reset since; else the error shows.
    void settleClaudeSource();
    /// After the scan: the newest figures of the Codex logs stand in for a failed or skipped
    /// ChatGPT fetch on the same terms.
    void settleCodexSource(const std::optional<CodexRateLimits>& limits);
    /// Notes a success or failure of a provider: its notice, the Retry-After to honour.
    void answered(AIProvider provider, const UsageServiceError* error);
    /// A Retry-After of the provider has not run out: it is not asked this time.
    bool isHeldBack(AIProvider provider) const;
    QDateTime currentTime() const;
    void preferenceChanged(const QString& key);

    std::optional<UsageResponse> m_usage;
    /// While Claude fails: the failure, and Claude Code's figures standing in for the service.
    std::optional<QString> m_claudeFailure;
    std::optional<UsageResponse> m_claudeCodeUsage;
    std::array<std::optional<FigureSource>, 3> m_sources;
    std::optional<QString> m_codexFailure;
    /// The stand-in figures last recorded in the history, so that each value is recorded once.
    std::array<QList<ProviderMetric>, 3> m_recordedStandIn;
    std::optional<QDateTime> m_lastUpdated;
    std::optional<QString> m_errorMessage;
    bool m_isLoading = false;
    std::optional<CopilotUsage> m_copilotUsage;
    std::optional<QString> m_copilotError;
    std::optional<CodexUsage> m_codexUsage;
    std::optional<QString> m_codexError;
    QList<UsageSnapshot> m_history;
    QStringList m_storageErrors;
    std::shared_ptr<const std::vector<LocalUsageEvent>> m_localUsage =
        std::make_shared<const std::vector<LocalUsageEvent>>();
    QDateTime m_now;
    std::array<std::optional<ProviderNotice>, 3> m_notices;
    std::array<std::optional<QDateTime>, 3> m_succeededAt;
    std::array<std::optional<QDateTime>, 3> m_notBefore;
    std::array<bool, 3> m_answered{};
    bool m_firstAnswerWaitOver = false;
    /// ChatGPT's record is dropped on failure (it leaves allMetrics); its last values stay here.
    std::optional<CodexUsage> m_lastGoodCodex;

    std::function<QDateTime()> m_clock;
    std::function<QCoro::Task<>(std::chrono::seconds)> m_sleep;
    /// 0 while no loop has been started (one-shot use).
    quint64 m_loopGeneration = 0;
    QTimer m_clockTimer;
};

} // namespace tallyvue
