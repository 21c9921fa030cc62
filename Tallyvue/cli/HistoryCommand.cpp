// SPDX-License-Identifier: MIT
#include "cli/Commands.h"

namespace tallyvue::cli {

int runHistory(const QStringList& args)
{
    Q_UNUSED(args);
    return usageError(QStringLiteral("not implemented yet"));
}

} // namespace tallyvue::cli
