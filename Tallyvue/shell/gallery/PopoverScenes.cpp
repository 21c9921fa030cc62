// SPDX-License-Identifier: MIT
// The popover: its pages, its tabs and the Trends tab.
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

bool renderPopover(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
                   QuotaDisplayMode mode, AppTab tab)
{
    Preferences::instance().setSelectedPage(page);
    Preferences::instance().setSelectedTab(tab);
    Preferences::instance().setQuotaDisplayMode(mode);
    MenuBarView view;
    view.setState(state);
    view.show();
    // Let the nested layouts and the scroll area settle (each pass posts the next request).
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    const QImage image = onBackdrop(view.grab().toImage(), dark);
    view.hide();
    const QString scale = qApp->devicePixelRatio() > 1 ? u"@2x"_s : QString();
    return save(image, dir + u"/popover-"_s + name + scale + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

/**
 * A tab of the popover as the user sees it and, beside it, its whole content unscrolled (the
 * parts below the fold: the Overview's local usage, long cards). `expand` clicks the local card.
 */
bool renderTab(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
               AppTab tab, bool expand)
{
    Preferences::instance().setSelectedPage(page);
    Preferences::instance().setSelectedTab(tab);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    MenuBarView view;
    view.setState(state);
    view.show();
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    if (expand) {
        if (QWidget* card = view.content()->findChild<QWidget*>(u"localUsageCard"_s)) {
            QMouseEvent press(QEvent::MouseButtonRelease, QPointF(10, 10), card->mapToGlobal(QPointF(10, 10)),
                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(card, &press);
        }
        for (int pass = 0; pass < 4; ++pass)
            QApplication::processEvents();
    }
    const QImage popover = onBackdrop(view.grab().toImage(), dark);
    QWidget* content = view.content();
    const int width = content->width();
    const int height = content->hasHeightForWidth() ? content->heightForWidth(width) : -1;
    const QSize full(width, std::max(height, content->sizeHint().height()));
    content->resize(full);
    for (int pass = 0; pass < 2; ++pass)
        QApplication::processEvents();
    const QImage whole = content->grab().toImage();
    view.hide();
    const qreal dpr = popover.devicePixelRatio();
    QImage sheet(popover.width() + int((whole.width() / whole.devicePixelRatio() + 24) * dpr),
                 std::max(popover.height(), int((whole.height() / whole.devicePixelRatio() + 48) * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(style::panelColor(QApplication::palette()));
    QPainter painter(&sheet);
    painter.drawImage(QPointF(0, 0), popover);
    painter.drawImage(QPointF(popover.width() / dpr + 12, 24), whole);
    painter.end();
    const QString scale = dpr > 1 ? u"@2x"_s : QString();
    return save(sheet, dir + u'/' + name + scale + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

/// The Trends tab of a provider; `hover` puts the pointer an hour and a quarter ago.
bool renderTrends(const QString& dir, const QString& name, bool dark, const UsageState& state, AIProvider provider,
                  bool hover)
{
    Preferences::instance().setSelectedPage(WorkspacePage{provider});
    Preferences::instance().setSelectedTab(AppTab::Trends);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    MenuBarView view;
    view.setState(state);
    view.show();
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    if (auto* trends = qobject_cast<TrendsView*>(view.content()); trends && hover)
        trends->historyChart()->setSelectedDate(kNow.addSecs(-75 * 60));
    const QImage image = onBackdrop(view.grab().toImage(), dark);
    view.hide();
    return save(image, dir + u"/trends-"_s + name + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

} // namespace tallyvue::gallery
