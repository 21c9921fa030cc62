// SPDX-License-Identifier: MIT
#include "model/Log.h"

#include "model/Formatting.h"

#include <atomic>
#include <cstdio>

namespace tallyvue {
namespace {
std::atomic<LogSink> g_sink{LogSink::StandardOutput};
}

void setLogSink(LogSink sink)
{
    g_sink = sink;
}

void log(const QString& message)
{
    const QByteArray line = QByteArrayLiteral("[Tallyvue] ") + printableText(message, true).toUtf8() + '\n';
    FILE* out = g_sink == LogSink::StandardError ? stderr : stdout;
    std::fwrite(line.constData(), 1, std::size_t(line.size()), out);
    std::fflush(out);
}

} // namespace tallyvue
