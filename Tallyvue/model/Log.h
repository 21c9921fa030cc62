// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace tallyvue {

enum class LogSink { StandardOutput, StandardError };

/// Writes one "[Tallyvue] ..." diagnostic line, flushed at once. Never pass a token here.
void log(const QString& message);
/// The app logs to standard output; the CLI keeps standard output for its result.
void setLogSink(LogSink sink);

} // namespace tallyvue
