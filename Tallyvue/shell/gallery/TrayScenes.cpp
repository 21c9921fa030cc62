// SPDX-License-Identifier: MIT
// The tray icons: the label beside the icon, and the digits in the icon.
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

/// Every style and level of the tray label on a dark and a light panel, text beside the icon.
bool renderTrayIcons(const QString& dir)
{
    struct Row
    {
        const char* caption;
        MenuBarStyle style;
        double percent;
        bool monochrome;
        QuotaDisplayMode mode;
        bool data;
    };
    const Row rows[] = {
        {"percent, green", MenuBarStyle::Percent, 42.7, false, QuotaDisplayMode::Used, true},
        {"percent, yellow", MenuBarStyle::Percent, 63, false, QuotaDisplayMode::Used, true},
        {"percent, red", MenuBarStyle::Percent, 93, false, QuotaDisplayMode::Used, true},
        {"percent, monochrome", MenuBarStyle::Percent, 93, true, QuotaDisplayMode::Used, true},
        {"icon only, red", MenuBarStyle::IconOnly, 93, false, QuotaDisplayMode::Used, true},
        {"ring 0 %", MenuBarStyle::Ring, 0, false, QuotaDisplayMode::Used, true},
        {"ring 42 %", MenuBarStyle::Ring, 42.7, false, QuotaDisplayMode::Used, true},
        {"ring 63 %", MenuBarStyle::Ring, 63, false, QuotaDisplayMode::Used, true},
        {"ring 100 %", MenuBarStyle::Ring, 100, false, QuotaDisplayMode::Used, true},
        {"ring remaining (90 used)", MenuBarStyle::Ring, 90, false, QuotaDisplayMode::Remaining, true},
        {"ring monochrome", MenuBarStyle::Ring, 63, true, QuotaDisplayMode::Used, true},
        {"no data", MenuBarStyle::Percent, 0, false, QuotaDisplayMode::Used, false},
    };
    const qreal dpr = 2;
    const int rowHeight = 32;
    const int width = 660;
    QImage canvas(int(width * dpr), int(rowHeight * std::size(rows) * dpr), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(dpr);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont labelFont = QApplication::font();
    labelFont.setPixelSize(13);
    labelFont.setWeight(QFont::DemiBold);
    QFont captionFont = QApplication::font();
    captionFont.setPixelSize(11);
    int y = 0;
    for (const Row& row : rows) {
        QList<ProviderMetric> metrics;
        if (row.data) {
            metrics = {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, row.percent, kNow.addSecs(7500), 18000},
                       {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 63, kNow.addSecs(86400 * 3), 604800}};
        }
        const TrayLabel label = makeTrayLabel(
            metrics, {{}, {}, row.style, row.monochrome, row.style == MenuBarStyle::Ring, row.mode}, kNow);
        painter.setPen(QColor(0x555555));
        painter.setFont(captionFont);
        painter.drawText(QRectF(8, y, 170, rowHeight), Qt::AlignVCenter, QString::fromUtf8(row.caption));
        for (int panel = 0; panel < 2; ++panel) {
            const bool darkPanel = panel == 0;
            const QRectF bar(180 + panel * 240, y + 3, 230, rowHeight - 6);
            painter.setPen(Qt::NoPen);
            painter.setBrush(darkPanel ? QColor(0x1C1C1E) : QColor(0xF3F3F3));
            painter.drawRoundedRect(bar, 6, 6);
            const QColor foreground = darkPanel ? QColor(0xF2F2F2) : QColor(0x1D1D1F);
            const QImage icon = renderTrayImage(label, 22, dpr, foreground);
            painter.drawImage(QPointF(bar.left() + 6, bar.top() + (bar.height() - 22) / 2), icon);
            painter.setPen(foreground);
            painter.setFont(labelFont);
            painter.drawText(QRectF(bar.left() + 32, bar.top(), bar.width() - 36, bar.height()), Qt::AlignVCenter,
                             label.text);
        }
        y += rowHeight;
    }
    return save(canvas, dir + u"/tray-icons.png"_s);
}

/// The icon with the percentage as digits (for trays that show no text) at the usual tray sizes,
/// 1x and 2x, on two panels; each icon at its real pixels, the sheet magnified three times so
/// that single pixels can be judged.
bool renderPercentIcons(const QString& file, const PanelShade (&panels)[2])
{
    struct Row
    {
        const char* caption;
        MenuBarStyle style;
        double percent;
        bool monochrome;
    };
    const Row rows[] = {
        {"7 %", MenuBarStyle::Percent, 7, false},       {"42 %", MenuBarStyle::Percent, 42.7, false},
        {"63 %", MenuBarStyle::Percent, 63, false},     {"93 %", MenuBarStyle::Percent, 93, false},
        {"100 %", MenuBarStyle::Percent, 100, false},   {"monochrome", MenuBarStyle::Percent, 63, true},
        {"ring 42 %", MenuBarStyle::Ring, 42.7, false}, {"ring 93 %", MenuBarStyle::Ring, 93, false},
        {"no data", MenuBarStyle::Percent, -1, false},
    };
    const int sides[] = {16, 22, 24, 32};
    const int cell = 72;
    const int captionWidth = 90;
    const int columns = int(std::size(sides)) * 2;
    QImage sheet(captionWidth + 2 * columns * cell, cell * int(std::size(rows) + 1),
                 QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    QFont captionFont = QApplication::font();
    captionFont.setPixelSize(11);
    painter.setFont(captionFont);
    for (int panel = 0; panel < 2; ++panel) {
        for (int c = 0; c < columns; ++c) {
            const QRect header(captionWidth + (panel * columns + c) * cell, 0, cell, cell);
            painter.setPen(QColor(0x555555));
            painter.drawText(
                header, Qt::AlignCenter,
                u"%1 px %2x\n%3"_s.arg(sides[c / 2]).arg(c % 2 + 1).arg(QString::fromUtf8(panels[panel].name)));
        }
    }
    int y = cell;
    for (const Row& row : rows) {
        QList<ProviderMetric> metrics;
        if (row.percent >= 0)
            metrics = {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, row.percent, kNow.addSecs(7500), 18000}};
        const TrayLabel label =
            makeTrayLabel(metrics, {{}, {}, row.style, row.monochrome, false, QuotaDisplayMode::Used}, kNow);
        painter.setPen(QColor(0x555555));
        painter.drawText(QRect(6, y, captionWidth - 6, cell), Qt::AlignVCenter, QString::fromUtf8(row.caption));
        for (int panel = 0; panel < 2; ++panel) {
            const QColor background = panels[panel].background;
            const QColor foreground = panels[panel].foreground;
            for (int c = 0; c < columns; ++c) {
                const QRect box(captionWidth + (panel * columns + c) * cell, y, cell, cell);
                painter.fillRect(box.adjusted(1, 1, -1, -1), background);
                QImage icon = renderPercentIcon(label, sides[c / 2], c % 2 + 1, foreground);
                icon.setDevicePixelRatio(1); // its real pixels
                painter.drawImage(box.center() - QPoint(icon.width() / 2, icon.height() / 2), icon);
            }
        }
        y += cell;
    }
    painter.end();
    return save(sheet.scaled(sheet.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation), file);
}

} // namespace tallyvue::gallery
