// SPDX-License-Identifier: MIT
// Palettes, backdrops, fonts and files: what every scene draws with.
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

QPalette themePalette(bool dark)
{
    QPalette palette;
    const QColor window = dark ? QColor(0x1E1E20) : QColor(0xEDEDF0);
    const QColor text = dark ? QColor(0xF2F2F7) : QColor(0x1D1D1F);
    const QColor base = dark ? QColor(0x2A2A2D) : QColor(0xFFFFFF);
    for (auto role : {QPalette::Window, QPalette::Button})
        palette.setColor(role, window);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Highlight, QColor(0x0A84FF));
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    return palette;
}

/// A backdrop like a desktop behind the panel, so the rounded corners read as they will.
QImage onBackdrop(const QImage& panel, bool dark)
{
    const int pad = 24;
    QImage canvas(panel.width() + 2 * pad * int(panel.devicePixelRatio()),
                  panel.height() + 2 * pad * int(panel.devicePixelRatio()), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(panel.devicePixelRatio());
    QPainter painter(&canvas);
    QLinearGradient gradient(0, 0, canvas.width(), canvas.height());
    gradient.setColorAt(0, dark ? QColor(0x232946) : QColor(0xA8C0FF));
    gradient.setColorAt(1, dark ? QColor(0x3B1F4A) : QColor(0xF5D0E6));
    painter.fillRect(QRectF(0, 0, canvas.width(), canvas.height()), gradient);
    painter.drawImage(QPointF(pad, pad), panel);
    return canvas;
}

bool save(const QImage& image, const QString& path)
{
    if (!image.save(path)) {
        std::fprintf(stderr, "tallyvue-gallery: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

/// Pins the fonts to DejaVu so that pictures are the same on every machine that has it.
void pinFonts(const QTemporaryDir& sandbox)
{
    const QString dejavu = u"/usr/share/fonts/truetype/dejavu"_s;
    if (!QDir(dejavu).exists())
        return;
    const QString config = sandbox.path() + u"/fonts.conf"_s;
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig><dir>" + dejavu.toUtf8() +
               "</dir><include ignore_missing=\"yes\">/etc/fonts/conf.d</include></fontconfig>");
    file.close();
    qputenv("FONTCONFIG_FILE", config.toUtf8());
}

} // namespace tallyvue::gallery
