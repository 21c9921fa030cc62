// SPDX-License-Identifier: MIT
#include "local/Report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace tallyvue {

using detail::periodEnd;
using detail::periodStart;
using detail::totalRow;

namespace {

constexpr EpochMs kHourMs = 3'600'000;
constexpr EpochMs kBlockMs = 5 * kHourMs;

/// A row being summed: nano-dollars stay whole until the end.
struct Sum
{
    ReportRow row;
    double nano = 0;

    void add(const LocalUsageEvent& e, std::optional<double> cost)
    {
        row.totals.add(e);
        row.cacheWrite1hTokens =
            saturatingAdd(row.cacheWrite1hTokens, std::max<std::int64_t>(e.cacheCreation1hTokens, 0));
        if (cost) {
            nano += *cost;
            ++row.cost.pricedRequests;
        } else {
            ++row.cost.unpricedRequests;
        }
        if (row.firstRequest == 0 || e.timestamp < row.firstRequest)
            row.firstRequest = e.timestamp;
        row.lastRequest = std::max(row.lastRequest, e.timestamp);
    }
    ReportRow finished()
    {
        row.cost.usd = nano / 1e9;
        return row;
    }
};

/// A group and, when broken down, its models (by provider and model handle).
struct Group
{
    Sum sum;
    std::unordered_map<std::uint64_t, Sum> models;
    std::vector<InternedString> modelNames; // a session's, in order of use

    void add(const LocalUsageEvent& e, std::optional<double> cost, bool breakdown)
    {
        sum.add(e, cost);
        if (!breakdown)
            return;
        const std::uint64_t key = (std::uint64_t(e.provider) << 32) | e.model.handle();
        auto [it, fresh] = models.try_emplace(key);
        if (fresh) {
            it->second.row.key = sum.row.key;
            it->second.row.start = sum.row.start;
            it->second.row.end = sum.row.end;
            it->second.row.provider = e.provider;
            it->second.row.model = e.model;
        }
        it->second.add(e, cost);
    }

    /// The group's row, then its models in provider order and by model text.
    void emit(std::vector<ReportRow>& out)
    {
        out.push_back(sum.finished());
        std::vector<ReportRow> rows;
        for (auto& [key, model] : models)
            rows.push_back(model.finished());
        std::sort(rows.begin(), rows.end(), detail::modelRowBefore);
        out.insert(out.end(), rows.begin(), rows.end());
    }
};

/// The events the options keep, priced once each.
class Selection
{
public:
    Selection(const ReportEvents& events, const ReportOptions& options, ZoneCalendar& calendar,
              const PriceTable& prices)
        : m_events(events), m_options(options), m_pricer(prices), m_projects(options.projects)
    {
        if (options.since)
            m_from = calendar.startOf(*options.since);
        if (options.until)
            m_to = calendar.startOf(options.until->addDays(1));
    }

    template<class Visit>
    void forEach(const Visit& visit)
    {
        for (const ReportEvent& r : m_events.events) {
            const LocalUsageEvent& e = r.event;
            if (e.timestamp < m_from || e.timestamp >= m_to ||
                (m_options.provider && e.provider != *m_options.provider) || !m_projects.keeps(e.project))
                continue;
            const std::optional<double> cost = m_pricer.nanoUsd(e);
            if (!cost)
                noteUnpriced(e.model);
            visit(r, cost);
        }
    }

    QStringList unpricedModels() const
    {
        QStringList names;
        for (const InternedString model : m_unpriced)
            names << model.text();
        return names;
    }

private:
    void noteUnpriced(InternedString model)
    {
        if (std::find(m_unpriced.begin(), m_unpriced.end(), model) == m_unpriced.end())
            m_unpriced.push_back(model);
    }

    const ReportEvents& m_events;
    const ReportOptions& m_options;
    detail::EventPricer m_pricer;
    EpochMs m_from = std::numeric_limits<EpochMs>::min();
    EpochMs m_to = std::numeric_limits<EpochMs>::max();
    detail::ProjectFilter m_projects;
    std::vector<InternedString> m_unpriced;
};

std::vector<ReportRow> periodRows(Selection& selection, const ReportOptions& options, ZoneCalendar& calendar)
{
    std::unordered_map<qint64, Group> groups;
    QDate lastDate;
    Group* group = nullptr;
    selection.forEach([&](const ReportEvent& r, std::optional<double> cost) {
        const QDate date = calendar.dateOf(r.event.timestamp);
        if (date != lastDate || !group) {
            lastDate = date;
            const QDate start = periodStart(options.kind, date, options.firstDayOfWeek);
            auto [it, fresh] = groups.try_emplace(start.toJulianDay());
            group = &it->second;
            if (fresh) {
                ReportRow& row = group->sum.row;
                row.key =
                    options.kind == ReportKind::Monthly ? start.toString(u"yyyy-MM") : start.toString(Qt::ISODate);
                row.start = QDateTime::fromMSecsSinceEpoch(calendar.startOf(start), calendar.zone());
                row.end =
                    QDateTime::fromMSecsSinceEpoch(calendar.startOf(periodEnd(options.kind, start)), calendar.zone());
            }
        }
        group->add(r.event, cost, options.breakdown);
    });
    std::vector<std::pair<qint64, Group*>> ordered;
    for (auto& [day, g] : groups)
        ordered.emplace_back(day, &g);
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ReportRow> rows;
    for (auto& [day, g] : ordered)
        g->emit(rows);
    return rows;
}

std::vector<ReportRow> sessionRows(Selection& selection, const ReportEvents& events, const ReportOptions& options,
                                   const QTimeZone& zone)
{
    std::unordered_map<std::uint32_t, Group> groups;
    selection.forEach([&](const ReportEvent& r, std::optional<double> cost) {
        auto [it, fresh] = groups.try_emplace(r.session);
        Group& group = it->second;
        if (fresh) {
            group.sum.row.key = events.sessions[r.session].id;
            group.sum.row.provider = events.sessions[r.session].provider;
        }
        // The project of the session's first request names it.
        if (fresh || r.event.timestamp < group.sum.row.firstRequest)
            group.sum.row.project = r.event.project.text();
        if (std::find(group.modelNames.begin(), group.modelNames.end(), r.event.model) == group.modelNames.end())
            group.modelNames.push_back(r.event.model);
        group.add(r.event, cost, options.breakdown);
    });
    std::vector<Group*> ordered;
    for (auto& [session, g] : groups) {
        ReportRow& row = g.sum.row;
        row.start = QDateTime::fromMSecsSinceEpoch(row.firstRequest, zone);
        row.end = QDateTime::fromMSecsSinceEpoch(row.lastRequest, zone);
        for (const InternedString model : g.modelNames)
            row.models << model.text();
        row.models.sort();
        for (auto& [key, model] : g.models) {
            model.row.start = row.start;
            model.row.end = row.end;
            model.row.project = row.project;
            model.row.models = {model.row.model.text()};
        }
        ordered.push_back(&g);
    }
    std::sort(ordered.begin(), ordered.end(), [](const Group* a, const Group* b) {
        return a->sum.row.lastRequest != b->sum.row.lastRequest ? a->sum.row.lastRequest < b->sum.row.lastRequest
                                                                : a->sum.row.key < b->sum.row.key;
    });
    std::vector<ReportRow> rows;
    for (Group* g : ordered)
        g->emit(rows);
    return rows;
}

/// The provider's running 5-hour quota window, as the card anchors it.
struct OfficialWindow
{
    EpochMs start = 0;
    EpochMs end = 0;
    double percent = 0;
};

std::optional<OfficialWindow> officialWindow(AIProvider provider, const QList<ProviderMetric>& metrics,
                                             const QDateTime& now)
{
    for (const ProviderMetric& metric : metrics) {
        if (metric.provider != provider ||
            (metric.kind != u"session" && metric.kind != u"five_hour" && metric.kind != u"primary"))
            continue;
        // A passed reset or no usable length is no window: the floored-hour rule applies.
        if (!metric.resetsAt || !metric.windowLength || *metric.resetsAt <= now ||
            !std::isfinite(*metric.windowLength) || *metric.windowLength <= 0)
            return std::nullopt;
        const EpochMs end = metric.resetsAt->toMSecsSinceEpoch();
        return OfficialWindow{end - EpochMs(std::llround(*metric.windowLength * 1000.0)), end, metric.percent};
    }
    return std::nullopt;
}

/// The start of the hour `at` lies in, on the zone's clock.
EpochMs flooredHour(EpochMs at, const QTimeZone& zone)
{
    const EpochMs offset = EpochMs(zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(at, QTimeZone::utc()))) * 1000;
    const EpochMs local = at + offset;
    const EpochMs floored = local - ((local % kHourMs) + kHourMs) % kHourMs;
    return floored - offset;
}

std::vector<ReportRow> blockRows(Selection& selection, const ReportOptions& options, const QDateTime& now,
                                 const QList<ProviderMetric>& metrics, const QTimeZone& zone)
{
    // By provider, then by time. The sort key sits in the item: reaching it through the event
    // costs a cache miss a compare. A NaN cost: no price.
    struct Item
    {
        EpochMs at;
        const ReportEvent* event;
        double cost;
    };
    std::array<std::vector<Item>, kAllProviders.size()> byProvider;
    selection.forEach([&](const ReportEvent& r, std::optional<double> cost) {
        byProvider[std::size_t(r.event.provider)].push_back({r.event.timestamp, &r, cost.value_or(std::nan(""))});
    });
    const EpochMs nowMs = now.toMSecsSinceEpoch();
    std::vector<Group> blocks;
    for (const AIProvider p : kAllProviders) {
        std::vector<Item>& items = byProvider[std::size_t(p)];
        std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.at < b.at; });
        const std::optional<OfficialWindow> official = items.empty() ? std::nullopt : officialWindow(p, metrics, now);
        Group* block = nullptr;
        EpochMs blockEnd = 0; // converting the block's QDateTime per request costs more than the rest
        for (const Item& item : items) {
            const bool inOfficial = official && item.at >= official->start && item.at < official->end;
            const bool fits = block && item.at < blockEnd && block->sum.row.officialPercent.has_value() == inOfficial;
            if (!fits) {
                EpochMs start = inOfficial ? official->start : flooredHour(item.at, zone);
                EpochMs end = inOfficial ? official->end : start + kBlockMs;
                // The provider's window began a new block: the guessed one before it ends there.
                if (!inOfficial && official && start < official->start && end > official->start)
                    end = official->start;
                block = &blocks.emplace_back();
                ReportRow& row = block->sum.row;
                row.provider = p;
                row.start = QDateTime::fromMSecsSinceEpoch(start, zone);
                row.end = QDateTime::fromMSecsSinceEpoch(end, zone);
                row.key = row.start.toOffsetFromUtc(row.start.offsetFromUtc()).toString(Qt::ISODate);
                row.open = end > nowMs;
                if (inOfficial)
                    row.officialPercent = official->percent;
                blockEnd = end;
            }
            block->add(item.event->event, std::isnan(item.cost) ? std::nullopt : std::optional(item.cost),
                       options.breakdown);
        }
    }
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const Group& a, const Group& b) { return a.sum.row.start < b.sum.row.start; });
    std::vector<ReportRow> rows;
    for (Group& block : blocks) {
        for (auto& [key, model] : block.models) {
            model.row.open = block.sum.row.open;
            model.row.officialPercent = block.sum.row.officialPercent;
        }
        block.emit(rows);
    }
    return rows;
}

} // namespace

namespace detail {

bool modelRowBefore(const ReportRow& a, const ReportRow& b)
{
    return a.provider != b.provider ? a.provider < b.provider : a.model.text() < b.model.text();
}

bool ProjectFilter::keeps(InternedString project)
{
    if (m_projects.isEmpty())
        return true;
    if (project.handle() >= m_kept.size())
        m_kept.resize(project.handle() + 1, -1);
    signed char& kept = m_kept[project.handle()];
    if (kept < 0)
        kept = m_projects.contains(project.text()) ? 1 : 0;
    return kept == 1;
}

QDate periodStart(ReportKind kind, QDate date, Qt::DayOfWeek firstDay)
{
    switch (kind) {
    case ReportKind::Weekly: return date.addDays(-((date.dayOfWeek() - int(firstDay) + 7) % 7));
    case ReportKind::Monthly: return QDate(date.year(), date.month(), 1);
    default: return date;
    }
}

QDate periodEnd(ReportKind kind, QDate start)
{
    switch (kind) {
    case ReportKind::Weekly: return start.addDays(7);
    case ReportKind::Monthly: return start.addMonths(1);
    default: return start.addDays(1);
    }
}

ReportRow totalRow(const std::vector<ReportRow>& rows)
{
    ReportRow total;
    total.key = u"Total"_s;
    for (const ReportRow& row : rows) {
        if (!row.model.isEmpty())
            continue;
        total.totals.add(row.totals);
        total.cacheWrite1hTokens = saturatingAdd(total.cacheWrite1hTokens, row.cacheWrite1hTokens);
        total.cost.add(row.cost);
    }
    return total;
}

} // namespace detail

QString reportKindName(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Daily: return u"daily"_s;
    case ReportKind::Weekly: return u"weekly"_s;
    case ReportKind::Monthly: return u"monthly"_s;
    case ReportKind::Session: return u"session"_s;
    case ReportKind::Blocks: return u"blocks"_s;
    }
    return {};
}

std::optional<ReportKind> reportKindFromName(QStringView name)
{
    for (const ReportKind kind :
         {ReportKind::Daily, ReportKind::Weekly, ReportKind::Monthly, ReportKind::Session, ReportKind::Blocks}) {
        if (name == reportKindName(kind))
            return kind;
    }
    return std::nullopt;
}

std::optional<double> ReportRow::burnRate() const
{
    if (lastRequest <= firstRequest)
        return std::nullopt;
    return double(totals.tokens()) / (double(lastRequest - firstRequest) / 60'000.0);
}

QDate ZoneCalendar::dateOf(EpochMs at)
{
    if (at < m_start || at >= m_end || !m_date.isValid()) {
        m_date = QDateTime::fromMSecsSinceEpoch(at, m_zone).date();
        m_start = startOf(m_date);
        m_end = startOf(m_date.addDays(1));
        if (m_end <= m_start || at < m_start || at >= m_end) {
            m_start = m_end = 0; // a day the zone cannot bound: convert every time
            return m_date;
        }
    }
    return m_date;
}

EpochMs ZoneCalendar::startOf(QDate date) const
{
    return date.startOfDay(m_zone).toMSecsSinceEpoch();
}

Report buildReport(const ReportEvents& events, const ReportOptions& options, const QDateTime& now,
                   const QList<ProviderMetric>& metrics, const PriceTable& prices)
{
    ZoneCalendar calendar(options.zone);
    Selection selection(events, options, calendar, prices);
    Report report;
    switch (options.kind) {
    case ReportKind::Session: report.rows = sessionRows(selection, events, options, options.zone); break;
    case ReportKind::Blocks: report.rows = blockRows(selection, options, now, metrics, options.zone); break;
    default: report.rows = periodRows(selection, options, calendar); break;
    }
    report.total = totalRow(report.rows);
    report.unpricedModels = selection.unpricedModels();
    return report;
}

} // namespace tallyvue
