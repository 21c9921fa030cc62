// SPDX-License-Identifier: MIT
#include "local/ComputerMonth.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace tallyvue {

QDate ComputerMonth::firstDay(const QDateTime& now, const QTimeZone& zone)
{
    const QDate today = now.toTimeZone(zone).date();
    const QDate monthStart = QDate(today.year(), today.month(), 1).addMonths(-(kMonths - 1));
    return std::min(monthStart, today.addDays(-(kDays - 1)));
}

ComputerMonth ComputerMonth::build(const ReportEvents& events, const QDateTime& now, const QTimeZone& zone,
                                   const PriceTable& prices)
{
    ComputerMonth out;
    const QDate today = now.toTimeZone(zone).date();
    ReportOptions options;
    options.zone = zone;
    options.until = today;

    options.kind = ReportKind::Daily;
    options.since = today.addDays(-(kDays - 1));
    options.breakdown = true;
    const Report daily = buildReport(events, options, now, {}, prices);
    std::vector<std::array<std::int64_t, kAllProviders.size()>> tokens(kDays);
    for (const ReportRow& row : daily.rows) {
        if (row.model.isEmpty())
            continue;
        const auto day = options.since->daysTo(QDate::fromString(row.key, Qt::ISODate));
        if (day >= 0 && day < kDays) {
            auto& sum = tokens[std::size_t(day)][std::size_t(*row.provider)];
            sum = saturatingAdd(sum, row.totals.tokens());
        }
    }
    for (int d = 0; d < kDays; ++d) {
        const QDate date = options.since->addDays(d);
        for (const AIProvider provider : {AIProvider::Claude, AIProvider::ChatGPT})
            out.days.push_back({QString::number(date.day()), provider, tokens[std::size_t(d)][std::size_t(provider)],
                                date.startOfDay(zone)});
    }

    options.kind = ReportKind::Monthly;
    options.breakdown = false;
    options.since = QDate(today.year(), today.month(), 1).addMonths(-(kMonths - 1));
    const Report monthly = buildReport(events, options, now, {}, prices);
    for (int m = 0; m < kMonths; ++m) {
        const QDate start = options.since->addMonths(m);
        const QString key = start.toString(u"yyyy-MM");
        const auto found = std::find_if(monthly.rows.begin(), monthly.rows.end(),
                                        [&](const ReportRow& row) { return row.key == key; });
        ReportRow row = found != monthly.rows.end() ? *found : ReportRow{};
        row.key = key;
        row.start = start.startOfDay(zone);
        row.end = start.addMonths(1).startOfDay(zone);
        out.months.push_back(row);
    }
    out.total = monthly.total;
    out.unpricedModels = monthly.unpricedModels;
    out.hasEvents = daily.total.totals.requests > 0 || monthly.total.totals.requests > 0;
    return out;
}

} // namespace tallyvue
