// SPDX-License-Identifier: MIT
// What keyboard and low-vision users depend on: the focus ring on each kind of control, and the
// secondary text and chart colours against the backgrounds they sit on, with their ratios.
#include "shell/gallery/Gallery.h"

#include "views/charts/ChartPalette.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/Style.h"
#include "views/popover/MenuBarView.h"
#include "views/popover/SelectorBar.h"
#include "views/popover/TrendsView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>

#include <cmath>
#include <functional>

using namespace Qt::StringLiterals;

namespace tallyvue::gallery {

namespace {

double luminance(const QColor& colour)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor over(const QColor& top, const QColor& bottom)
{
    const double a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)),
                            float(top.greenF() * a + bottom.greenF() * (1 - a)),
                            float(top.blueF() * a + bottom.blueF() * (1 - a)));
}

void settle()
{
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
}

/// The popover on `page`/`tab` with keyboard focus on the control `pick` finds.
QImage focused(const UsageState& state, WorkspacePage page, AppTab tab,
               const std::function<QWidget*(MenuBarView&)>& pick)
{
    Preferences::instance().setSelectedPage(page);
    Preferences::instance().setSelectedTab(tab);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    MenuBarView view;
    view.setState(state);
    view.show();
    view.activateWindow();
    settle();
    // The window gives its first control focus on opening, without a ring: Tab to it.
    if (QWidget* target = pick(view)) {
        target->clearFocus();
        target->setFocus(Qt::TabFocusReason);
    }
    settle();
    QImage image = view.grab().toImage();
    view.hide();
    return image;
}

} // namespace

bool renderFocusRings(const QString& dir, bool dark, const UsageState& state)
{
    const WorkspacePage claude{AIProvider::Claude};
    const auto named = [](const QString& name) {
        return [name](MenuBarView& view) { return view.findChild<QWidget*>(name); };
    };
    const auto trends = [](MenuBarView& view) { return qobject_cast<TrendsView*>(view.content()); };
    const QList<QImage> shots = {
        focused(state, claude, AppTab::Models, named(u"refresh"_s)),
        focused(state, claude, AppTab::Models,
                [](MenuBarView& view) {
                    return view.findChild<SelectorBar*>(u"providerSelector"_s)->button(u"Claude"_s);
                }),
        focused(state, claude, AppTab::Trends,
                [](MenuBarView& view) { return view.findChild<SelectorBar*>(u"tabBar"_s)->button(u"Trends"_s); }),
        focused(state, claude, AppTab::Trends,
                [&](MenuBarView& view) -> QWidget* {
                    for (auto* button : trends(view)->findChildren<QAbstractButton*>()) {
                        if (button->accessibleName() == u"7 days")
                            return button;
                    }
                    return nullptr;
                }),
        focused(state, claude, AppTab::Trends, [&](MenuBarView& view) { return trends(view)->historyChart(); }),
        focused(state, claude, AppTab::Models, named(u"quit"_s)),
    };
    const qreal dpr = shots.first().devicePixelRatio();
    const int gap = int(16 * dpr);
    int width = gap;
    int height = 0;
    for (const QImage& shot : shots) {
        width += shot.width() + gap;
        height = std::max(height, shot.height());
    }
    QImage sheet(width, height + 2 * gap, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(dark ? QColor(0x101012) : QColor(0xD8D8DC));
    QPainter painter(&sheet);
    qreal x = gap / dpr;
    for (const QImage& shot : shots) {
        painter.drawImage(QPointF(x, gap / dpr), shot);
        x += (shot.width() + gap) / dpr;
    }
    painter.end();
    const QString scale = dpr > 1 ? u"@2x"_s : QString();
    return save(sheet, dir + u"/focus-rings"_s + scale + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

bool renderContrast(const QString& dir, bool dark)
{
    const QPalette palette = QApplication::palette();
    const QColor panel = over(style::panelColor(palette), dark ? Qt::black : Qt::white);
    const QColor card = over(style::cardFill(palette), panel);
    struct Sample
    {
        QString name;
        QColor colour;
        double needed;
        bool line;
    };
    QList<Sample> samples = {
        {u"Secondary text: resets in 2h 5m"_s, style::textColor(style::Tone::Secondary, palette), 4.5, false},
        {u"Tertiary text: Dec 4, axis labels"_s, style::textColor(style::Tone::Tertiary, palette), 4.5, false},
        {u"Focus ring"_s, style::focusRingColor(palette), 3.0, true},
    };
    for (int series = 0; series < style::kChartColorCount; ++series)
        samples.append({u"Chart series %1"_s.arg(series + 1), style::chartColor(series, palette), 3.0, true});

    const QFont font = style::font(style::TextStyle::Caption);
    const int rowHeight = 26;
    const int columnWidth = 330;
    const QSize logical(2 * columnWidth + 24, int(samples.size()) * rowHeight + 40);
    const qreal dpr = qApp->devicePixelRatio();
    QImage sheet((QSizeF(logical) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(panel);
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font);
    const QList<std::pair<QString, QColor>> backgrounds = {{u"panel"_s, panel}, {u"card"_s, card}};
    for (int column = 0; column < backgrounds.size(); ++column) {
        const auto& [title, background] = backgrounds[column];
        const QRectF area(8 + column * (columnWidth + 8), 8, columnWidth, logical.height() - 16);
        painter.fillRect(area, background);
        painter.setPen(style::textColor(style::Tone::Primary, palette));
        painter.drawText(area.adjusted(8, 4, -8, 0), Qt::AlignLeft | Qt::AlignTop, u"On the "_s + title);
        for (int row = 0; row < samples.size(); ++row) {
            const Sample& sample = samples[row];
            const QColor seen = over(sample.colour, background);
            const double ratio = contrast(seen, background);
            const QRectF line(area.left() + 8, area.top() + 28 + row * rowHeight, columnWidth - 16, rowHeight);
            if (sample.line) {
                painter.setPen(QPen(sample.colour, 2));
                painter.drawLine(QPointF(line.left(), line.center().y()), QPointF(line.left() + 40, line.center().y()));
                painter.setPen(style::textColor(style::Tone::Primary, palette));
                painter.drawText(line.adjusted(50, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, sample.name);
            } else {
                painter.setPen(sample.colour);
                painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, sample.name);
            }
            painter.setPen(ratio >= sample.needed ? style::textColor(style::Tone::Primary, palette)
                                                  : style::accentColor(style::Accent::Red, palette));
            painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter,
                             QString::number(ratio, 'f', 2) + u":1"_s + (ratio >= sample.needed ? u""_s : u" low"_s));
        }
    }
    painter.end();
    const QString scale = dpr > 1 ? u"@2x"_s : QString();
    return save(sheet, dir + u"/contrast"_s + scale + (dark ? u"-dark.png"_s : u"-light.png"_s));
}

} // namespace tallyvue::gallery
