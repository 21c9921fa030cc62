// SPDX-License-Identifier: MIT
#pragma once

#include "model/ClaudeUsage.h"
#include "model/Result.h"

#include <QByteArray>

namespace tallyvue {

/// Decodes the service's JSON (snake-case members); the error text says what was wrong.
Result<UsageResponse, QString> decodeUsageResponse(const QByteArray& json);

} // namespace tallyvue
