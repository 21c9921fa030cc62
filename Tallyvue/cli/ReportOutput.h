// SPDX-License-Identifier: MIT
#pragma once

#include "local/Report.h"

#include <QByteArray>

namespace tallyvue::cli {

struct ReportPrinting
{
    ReportKind kind = ReportKind::Daily;
    bool breakdown = false;
    bool colour = false;
    const PriceTable* prices = nullptr;
    std::size_t transcripts = 0; ///< found under the roots, read or not
};

/// The table for an 80-column terminal, with the total row and the price notes.
QByteArray reportText(const Report& report, const ReportPrinting& how);
/// `rows` (the model rows when broken down), `total`, `unpricedRequests` and `prices`.
QByteArray reportJson(const Report& report, const ReportPrinting& how);
/// A header line, then one line per row (the model rows when broken down); no total.
QByteArray reportCsv(const Report& report, const ReportPrinting& how);

/// "98765", "123K", "1.23M", "12.3M", "123B": at most six characters for any count.
QString compactCount(std::int64_t count);

} // namespace tallyvue::cli
