// SPDX-License-Identifier: MIT
// Daily, weekly and monthly reports summed while the transcripts are read: a request that a
// later file replaces is taken off its period again, so sums stay exact until read out.
#include "local/Report.h"

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>

using namespace Qt::StringLiterals;

namespace tallyvue {

using detail::periodEnd;
using detail::periodStart;
using detail::totalRow;

namespace {

__extension__ typedef __int128 WideSum;

std::int64_t heldAtLimits(WideSum sum)
{
    return std::int64_t(std::clamp<WideSum>(sum, std::numeric_limits<std::int64_t>::min(),
                                            std::numeric_limits<std::int64_t>::max()));
}

/// One provider's model in one period.
struct PeriodPart
{
    InternedString model;
    std::int64_t requests = 0;
    WideSum input = 0;
    WideSum output = 0;
    WideSum cacheCreation = 0;
    WideSum cacheRead = 0;
    WideSum cacheWrite1h = 0;
    std::int64_t priced = 0;
    std::int64_t unpriced = 0;
    double nano = 0; // whole nano-dollars: adding and taking off stays exact
    EpochMs first = 0;
    EpochMs last = 0;

    void add(const PeriodPart& o)
    {
        requests += o.requests;
        input += o.input;
        output += o.output;
        cacheCreation += o.cacheCreation;
        cacheRead += o.cacheRead;
        cacheWrite1h += o.cacheWrite1h;
        priced += o.priced;
        unpriced += o.unpriced;
        nano += o.nano;
        first = first == 0 || (o.first != 0 && o.first < first) ? o.first : first;
        last = std::max(last, o.last);
    }
    void fill(ReportRow& row) const
    {
        row.totals = {requests, heldAtLimits(input), heldAtLimits(output), heldAtLimits(cacheCreation),
                      heldAtLimits(cacheRead)};
        row.cacheWrite1hTokens = heldAtLimits(cacheWrite1h);
        row.cost.usd = nano / 1e9;
        row.cost.pricedRequests = priced;
        row.cost.unpricedRequests = unpriced;
        row.firstRequest = first;
        row.lastRequest = last;
    }
};

} // namespace

struct PeriodReportSink::State
{
    State(const ReportOptions& o, const PriceTable& prices) : options(o), calendar(o.zone), pricer(prices)
    {
        if (options.since)
            from = calendar.startOf(*options.since);
        if (options.until)
            to = calendar.startOf(options.until->addDays(1));
    }

    ReportOptions options;
    ZoneCalendar calendar;
    detail::EventPricer pricer;
    EpochMs from = std::numeric_limits<EpochMs>::min();
    EpochMs to = std::numeric_limits<EpochMs>::max();
    detail::ProjectFilter projects{options.projects};
    // (period's first day, provider, model), so that periods come out in order.
    std::map<std::tuple<qint64, int, std::uint32_t>, PeriodPart> parts;
    std::vector<std::pair<InternedString, std::int64_t>> unpriced; // by first use
    QDate lastDate;
    qint64 lastPeriod = 0;
};

PeriodReportSink::PeriodReportSink(const ReportOptions& options, const PriceTable& prices)
    : m_state(std::make_unique<State>(options, prices))
{
}

PeriodReportSink::~PeriodReportSink() = default;

void PeriodReportSink::apply(const LocalUsageEvent& e, int sign)
{
    State& s = *m_state;
    if (e.timestamp < s.from || e.timestamp >= s.to || (s.options.provider && e.provider != *s.options.provider) ||
        !s.projects.keeps(e.project))
        return;
    if (const QDate date = s.calendar.dateOf(e.timestamp); date != s.lastDate || !s.lastDate.isValid()) {
        s.lastDate = date;
        s.lastPeriod = periodStart(s.options.kind, date, s.options.firstDayOfWeek).toJulianDay();
    }
    PeriodPart& part = s.parts[{s.lastPeriod, int(e.provider), e.model.handle()}];
    part.model = e.model;
    part.requests += sign;
    part.input += sign * WideSum(e.inputTokens);
    part.output += sign * WideSum(e.outputTokens);
    part.cacheCreation += sign * WideSum(e.cacheCreationTokens);
    part.cacheRead += sign * WideSum(e.cacheReadTokens);
    part.cacheWrite1h += sign * WideSum(std::max<std::int32_t>(e.cacheCreation1hTokens, 0));
    if (const std::optional<double> cost = s.pricer.nanoUsd(e)) {
        part.nano += sign * *cost;
        part.priced += sign;
    } else {
        part.unpriced += sign;
        auto it = std::find_if(s.unpriced.begin(), s.unpriced.end(), [&](const auto& u) { return u.first == e.model; });
        if (it == s.unpriced.end())
            it = s.unpriced.insert(it, {e.model, 0});
        it->second += sign;
    }
    if (sign > 0) {
        if (part.first == 0 || e.timestamp < part.first)
            part.first = e.timestamp;
        part.last = std::max(part.last, e.timestamp);
    }
}

Report PeriodReportSink::report() const
{
    const State& s = *m_state;
    const ReportOptions& options = s.options;
    Report report;
    for (auto it = s.parts.begin(); it != s.parts.end();) {
        const qint64 day = std::get<0>(it->first);
        const QDate start = QDate::fromJulianDay(day);
        ReportRow group;
        group.key = options.kind == ReportKind::Monthly ? start.toString(u"yyyy-MM") : start.toString(Qt::ISODate);
        group.start = QDateTime::fromMSecsSinceEpoch(s.calendar.startOf(start), options.zone);
        group.end = QDateTime::fromMSecsSinceEpoch(s.calendar.startOf(periodEnd(options.kind, start)), options.zone);
        PeriodPart sum;
        std::vector<ReportRow> models;
        for (; it != s.parts.end() && std::get<0>(it->first) == day; ++it) {
            const PeriodPart& part = it->second;
            if (part.requests == 0)
                continue; // every request of it was replaced
            sum.add(part);
            if (options.breakdown) {
                ReportRow row;
                row.key = group.key;
                row.start = group.start;
                row.end = group.end;
                row.provider = AIProvider(std::get<1>(it->first));
                row.model = part.model;
                part.fill(row);
                models.push_back(std::move(row));
            }
        }
        if (sum.requests == 0)
            continue;
        sum.fill(group);
        report.rows.push_back(std::move(group));
        std::sort(models.begin(), models.end(), detail::modelRowBefore);
        report.rows.insert(report.rows.end(), models.begin(), models.end());
    }
    report.total = totalRow(report.rows);
    for (const auto& [model, count] : s.unpriced) {
        if (count > 0)
            report.unpricedModels << model.text();
    }
    return report;
}

} // namespace tallyvue
