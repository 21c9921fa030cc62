// SPDX-License-Identifier: MIT
// The details window.
#include "shell/gallery/Gallery.h"

#include "alerts/ThresholdAlerts.h"
#include "model/ClaudeMetrics.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "shell/TrayLabel.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/Style.h"
#include "views/details/DetailWindowView.h"
#include "views/local/ComputerName.h"
#include "views/popover/MenuBarView.h"
#include "views/popover/TrendsView.h"
#include "views/settings/SettingsView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

namespace tallyvue::gallery {

/// The details window on one page, scrolled to `scroll` (0 top, 1 bottom).
bool renderDetails(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
                   double scroll)
{
    Preferences::instance().setDetailPage(page);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    DetailWindowView window;
    window.setState(state);
    window.show();
    for (int pass = 0; pass < 6; ++pass)
        QApplication::processEvents();
    if (auto* area = window.findChild<QScrollArea*>(u"detailColumn"_s)) {
        area->verticalScrollBar()->setValue(int(scroll * area->verticalScrollBar()->maximum()));
        QApplication::processEvents();
    }
    const QImage image = window.grab().toImage();
    window.hide();
    return save(image, dir + u"/details-"_s + name + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

} // namespace tallyvue::gallery
