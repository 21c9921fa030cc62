// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageAggregation.h"
#include "local/ReportScan.h"
#include "model/ProviderMetric.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QTimeZone>

#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tallyvue {

enum class ReportKind { Daily, Weekly, Monthly, Session, Blocks };

/// "daily", "weekly", "monthly", "session", "blocks".
QString reportKindName(ReportKind kind);
std::optional<ReportKind> reportKindFromName(QStringView name);

struct ReportOptions
{
    ReportKind kind = ReportKind::Daily;
    QTimeZone zone = QTimeZone::systemTimeZone();
    Qt::DayOfWeek firstDayOfWeek = Qt::Monday;
    /// Inclusive local calendar days of `zone`.
    std::optional<QDate> since;
    std::optional<QDate> until;
    /// Projects to keep (exact names); empty keeps all.
    QStringList projects;
    std::optional<AIProvider> provider;
    /// A row per provider and model in each period (session, block) instead of one.
    bool breakdown = false;
};

/// One period, session or 5-hour block; with a model when broken down.
struct ReportRow
{
    /// "2026-11-03" (day, week's first day), "2026-11", a session id, or the block's start.
    QString key;
    /// The period's or block's bounds; a session's first and last request.
    QDateTime start;
    QDateTime end;
    std::optional<AIProvider> provider; ///< none for a period's row of every provider
    InternedString model;               ///< empty unless broken down
    LocalUsageTotals totals;
    std::int64_t cacheWrite1hTokens = 0; ///< the part of cacheCreationTokens kept for an hour
    LocalUsageCost cost;

    // Sessions.
    QString project;
    QStringList models;
    // Blocks.
    EpochMs firstRequest = 0;
    EpochMs lastRequest = 0;
    bool open = false;
    /// The provider's own window from the last snapshot: the open block's bounds, and its percent.
    std::optional<double> officialPercent;

    /// Cache writes kept for five minutes, or of no stated duration.
    std::int64_t cacheWrite5mTokens() const
    {
        return std::max<std::int64_t>(totals.cacheCreationTokens - cacheWrite1hTokens, 0);
    }
    /// Tokens per minute between the block's first and last request; none for a single instant.
    std::optional<double> burnRate() const;
};

struct Report
{
    std::vector<ReportRow> rows;
    ReportRow total;
    /// Models with unpriced requests among the rows, for the note under a table.
    QStringList unpricedModels;
};

/**
 * Groups `events` into the rows of `options.kind` in `options.zone`:
 * - daily, weekly, monthly: one row per calendar period, oldest first (with breakdown, one
 *   per period, provider and model, in provider order then model text);
 * - session: one row per transcript, by last activity;
 * - blocks: per provider, 5-hour blocks that start at their first request's hour and end 5
 *   hours later; the next request after the end opens the next one. A block still running at
 *   `now` is open. When `metrics` holds the provider's running 5-hour window, requests from its
 *   start on form the open block with the window's own bounds and percent.
 * Costs are at `prices`, one request at a time, as everywhere else.
 */
Report buildReport(const ReportEvents& events, const ReportOptions& options, const QDateTime& now,
                   const QList<ProviderMetric>& metrics = {}, const PriceTable& prices = PriceTable::shared());

/**
 * The daily, weekly or monthly report of buildReport summed as a scan goes (scanIntoSink),
 * without keeping the events: one sum per period, provider and model.
 */
class PeriodReportSink final : public ReportSink
{
public:
    explicit PeriodReportSink(const ReportOptions& options, const PriceTable& prices = PriceTable::shared());
    ~PeriodReportSink() override;
    PeriodReportSink(const PeriodReportSink&) = delete;
    PeriodReportSink& operator=(const PeriodReportSink&) = delete;

    void add(const LocalUsageEvent& event) override { apply(event, 1); }
    void remove(const LocalUsageEvent& event) override { apply(event, -1); }
    /// What buildReport gives for the events added and not removed.
    Report report() const;

private:
    struct State;
    void apply(const LocalUsageEvent& event, int sign);
    std::unique_ptr<State> m_state;
};

namespace detail {
/// The first day of the period `date` lies in, and of the next one.
QDate periodStart(ReportKind kind, QDate date, Qt::DayOfWeek firstDay);
QDate periodEnd(ReportKind kind, QDate start);
/// The "Total" row: the sums of the rows that are not a model's.
ReportRow totalRow(const std::vector<ReportRow>& rows);
/// The order of a period's model rows: by provider, then by model name.
bool modelRowBefore(const ReportRow& a, const ReportRow& b);

/// Whether `--project` keeps a project; each project is looked up once, by its interned handle.
class ProjectFilter
{
public:
    explicit ProjectFilter(QStringList projects) : m_projects(std::move(projects)) {}
    bool keeps(InternedString project);

private:
    QStringList m_projects;
    std::vector<signed char> m_kept; // -1 not looked up yet
};
} // namespace detail

/// Local calendar days of a zone for many timestamps: the day's bounds are kept, so that
/// events in time order convert once per day.
class ZoneCalendar
{
public:
    explicit ZoneCalendar(QTimeZone zone) : m_zone(std::move(zone)) {}
    QDate dateOf(EpochMs at);
    EpochMs startOf(QDate date) const;
    const QTimeZone& zone() const { return m_zone; }

private:
    QTimeZone m_zone;
    QDate m_date;
    EpochMs m_start = 0;
    EpochMs m_end = 0;
};

} // namespace tallyvue
