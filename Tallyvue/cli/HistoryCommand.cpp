// SPDX-License-Identifier: MIT
#include "cli/Commands.h"
#include "history/HistoryStore.h"

#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {

int runHistory(const QStringList& args)
{
    const QString action = args.value(0);
    if (action == u"clear" && args.size() == 1) {
        HistoryStore::clear();
        return 0;
    }
    if (action != u"export" || args.size() > 2)
        return usageError(u"history: expected 'export [FILE]' or 'clear'"_s);

    const QByteArray csv = HistoryStore::exportCSV().toUtf8();
    if (args.size() == 1) {
        std::fwrite(csv.constData(), 1, std::size_t(csv.size()), stdout);
        return 0;
    }
    QSaveFile file(args[1]);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        QTextStream(stderr) << "tallyvue-cli: cannot write " << args[1] << ": " << file.errorString() << '\n';
        return 1;
    }
    return 0;
}

} // namespace tallyvue::cli
