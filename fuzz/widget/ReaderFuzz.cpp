// SPDX-License-Identifier: MIT
// Any bytes in widgetSnapshot.json: the reader refuses or accepts without crashing, and every view
// decision made from what it accepts stays in range.
#include "logic/SnapshotDecoder.h"
#include "logic/WidgetContent.h"

#include <cstdint>
#include <cstdlib>

using namespace tallyvue::widget;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    parseSnapshotDate(QString::fromUtf8(bytes));
    const auto snapshot = decodeSnapshot(bytes);
    if (!snapshot)
        return 0;

    for (const qint64 offset : {qint64(0), qint64(-86400), qint64(129600)}) {
        const QDateTime now = snapshot->timestamp.addSecs(offset);
        const auto small = smallContent(*snapshot, now);
        if (small.has_value() == snapshot->metrics.isEmpty())
            std::abort();
        if (small && (small->ringFraction < kMinimumRingFraction || small->ringFraction > 1 ||
                      !small->percentText.endsWith(u'%')))
            std::abort();
        const MediumContent medium = mediumContent(*snapshot, now);
        if (medium.rows.size() > kMediumRowLimit || medium.rows.size() > snapshot->metrics.size())
            std::abort();
        for (const MediumRow& row : medium.rows) {
            if (row.barFraction < 0 || row.barFraction > 1 || row.letter.size() != 1)
                std::abort();
        }
    }
    return 0;
}
