// SPDX-License-Identifier: MIT
#include "cli/Commands.h"
#include "history/HistoryStore.h"
#include "model/Formatting.h"
#include "model/SafeFile.h"

#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

int failure(const QString& message)
{
    QTextStream(stderr) << "tallyvue-cli: " << printableText(message) << '\n';
    return 1;
}

} // namespace

int runHistory(const QStringList& args)
{
    const QString action = args.value(0);
    if (action == u"clear" && args.size() == 1) {
        if (const auto why = HistoryStore::clear())
            return failure(u"history not cleared: "_s + *why);
        return 0;
    }
    if (action != u"export" || args.size() > 2)
        return usageError(u"history: expected 'export [FILE]' or 'clear'"_s);

    const auto csv = HistoryStore::exportCSV();
    if (!csv)
        return failure(u"history not exported: "_s + csv.error());
    const QByteArray& bytes = *csv;
    if (args.size() == 1) {
        if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) != std::size_t(bytes.size()) ||
            std::fflush(stdout) != 0)
            return failure(u"history not exported: cannot write to standard output"_s);
        return 0;
    }
    if (const auto why = safefile::writeFileAtomically(args[1], bytes))
        return failure(*why);
    return 0;
}

} // namespace tallyvue::cli
