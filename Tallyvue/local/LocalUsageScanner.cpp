// SPDX-License-Identifier: MIT
#include "local/LocalUsageScanner.h"

namespace tallyvue {

LocalUsageScanner& LocalUsageScanner::shared()
{
    static LocalUsageScanner scanner;
    return scanner;
}

QCoro::Task<std::vector<LocalUsageEvent>> LocalUsageScanner::scan(QDateTime now)
{
    Q_UNUSED(now);
    co_return {}; // the transcript scanner lands separately
}

} // namespace tallyvue
