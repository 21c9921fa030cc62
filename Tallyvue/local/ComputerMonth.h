// SPDX-License-Identifier: MIT
#pragma once

#include "local/Report.h"

#include <QDate>
#include <QStringList>

#include <vector>

namespace tallyvue {

/// The This Computer page's month view, built from the same report rows as `tallyvue-cli report`.
struct ComputerMonth
{
    static constexpr int kDays = 30;
    static constexpr int kMonths = 6;

    /// Tokens per local day and provider for the last 30 days, today last; named by the day of
    /// the month. Days without requests count 0.
    std::vector<LocalUsageStack> days;
    /// The last 6 calendar months, this one last, quiet months included.
    std::vector<ReportRow> months;
    ReportRow total;
    QStringList unpricedModels;
    bool hasEvents = false;

    /// The first day the view reads: files older than its start need not be opened.
    static QDate firstDay(const QDateTime& now, const QTimeZone& zone);
    static ComputerMonth build(const ReportEvents& events, const QDateTime& now, const QTimeZone& zone,
                               const PriceTable& prices = PriceTable::shared());
};

} // namespace tallyvue
