// SPDX-License-Identifier: MIT
#include "cli/Commands.h"

namespace tallyvue::cli {

int runLocal(const QStringList& args)
{
    Q_UNUSED(args);
    return usageError(QStringLiteral("'local' is not available in this build"));
}

} // namespace tallyvue::cli
