// SPDX-License-Identifier: MIT
#include "cli/Commands.h"

namespace tallyvue::cli {

int runAlert(const QStringList& args)
{
    Q_UNUSED(args);
    return usageError(QStringLiteral("'alert' is not available in this build"));
}

} // namespace tallyvue::cli
