// SPDX-License-Identifier: MIT
#include "ui/MediumUsageView.h"

#include "ui/UsageBar.h"
#include "ui/WidgetStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

namespace {

constexpr double kPadding = 16;
constexpr double kLineSpacing = 5;
constexpr double kItemSpacing = 6;
constexpr double kLetterWidth = 12;
constexpr double kTitleWidth = 60;
constexpr double kPercentWidth = 32;
constexpr double kResetWidth = 44;

/// Lays items out along a line from the leading edge, mirrored for right-to-left.
class Row
{
public:
    Row(const QRectF& line, Qt::LayoutDirection direction) : m_line(line), m_rtl(direction == Qt::RightToLeft) {}

    /// The next item of `width` from the leading edge.
    QRectF leading(double width)
    {
        const QRectF item(m_line.left() + m_lead, m_line.top(), width, m_line.height());
        m_lead += width + kItemSpacing;
        return mirrored(item);
    }
    /// The next item of `width` from the trailing edge.
    QRectF trailing(double width)
    {
        const QRectF item(m_line.right() - m_trail - width, m_line.top(), width, m_line.height());
        m_trail += width + kItemSpacing;
        return mirrored(item);
    }
    /// Whatever is left between both ends.
    QRectF rest() const
    {
        return mirrored(QRectF(m_line.left() + m_lead, m_line.top(), std::max(0.0, m_line.width() - m_lead - m_trail),
                               m_line.height()));
    }
    Qt::Alignment leadingAlignment() const { return m_rtl ? Qt::AlignRight : Qt::AlignLeft; }
    Qt::Alignment trailingAlignment() const { return m_rtl ? Qt::AlignLeft : Qt::AlignRight; }

private:
    QRectF mirrored(const QRectF& item) const
    {
        if (!m_rtl)
            return item;
        QRectF flipped = item;
        flipped.moveLeft(m_line.left() + m_line.right() - item.right());
        return flipped;
    }

    QRectF m_line;
    bool m_rtl;
    double m_lead = 0;
    double m_trail = 0;
};

} // namespace

MediumUsageView::MediumUsageView(QWidget* parent) : QWidget(parent)
{
}

void MediumUsageView::setSnapshot(const WidgetSnapshot& snapshot, const QDateTime& now)
{
    m_content = mediumContent(snapshot, now);
    m_metrics = mediumMetrics(snapshot);
    // Every value it draws: the name says when, the description reads the rows.
    QStringList rows;
    for (const MediumRow& row : std::as_const(m_content.rows))
        rows.append(row.title + u", "_s + row.percentText +
                    (row.resetText ? u", resets "_s + *row.resetText : QString()));
    setAccessibleName(m_content.updatedText);
    setAccessibleDescription(rows.join(u"; "_s));
    m_mode = snapshot.displayMode;
    update();
}

void MediumUsageView::paintEvent(QPaintEvent*)
{
    const WidgetStyle style = WidgetStyle::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area = QRectF(rect()).adjusted(kPadding, kPadding, -kPadding, -kPadding);

    QFont titleFont = style.caption;
    titleFont.setWeight(QFont::DemiBold);
    QFont letterFont = style.monospaced2;
    letterFont.setWeight(QFont::Bold);
    QFont percentFont = style.caption2Digits;
    percentFont.setWeight(QFont::DemiBold);

    // Numbers are never cut short: with a large system font their columns widen past the usual size.
    const double percentWidth =
        std::max(kPercentWidth, std::ceil(QFontMetricsF(percentFont).horizontalAdvance(u"100%"_s)));
    double resetWidth = kResetWidth;
    for (const MediumRow& item : m_content.rows) {
        if (item.resetText)
            resetWidth =
                std::max(resetWidth, std::ceil(QFontMetricsF(style.caption2).horizontalAdvance(*item.resetText)));
    }

    const double headerHeight = std::max(lineHeight(titleFont), lineHeight(style.caption2)) + 2;
    const double rowHeight = std::max(lineHeight(style.caption2), UsageBar::kHeight);
    const qsizetype rows = m_content.rows.size();
    const double blockHeight = headerHeight + double(rows) * (kLineSpacing + rowHeight);
    double y = area.top() + std::max(0.0, (area.height() - blockHeight) / 2);

    // Header: symbol, name, and on the far side how old the data is.
    Row header(QRectF(area.left(), y, area.width(), headerHeight), layoutDirection());
    const double nameWidth = QFontMetricsF(titleFont).horizontalAdvance(kHeaderTitle.toString()) + 1;
    drawGaugeSymbol(painter, header.leading(headerHeight), style.secondary);
    drawTextLine(painter, header.leading(nameWidth), kHeaderTitle.toString(), titleFont, style.primary,
                 header.leadingAlignment() | Qt::AlignVCenter);
    drawTextLine(painter, header.rest(), m_content.updatedText, style.caption2, style.tertiary,
                 header.trailingAlignment() | Qt::AlignVCenter);
    y += headerHeight;

    for (qsizetype i = 0; i < rows; ++i) {
        const MediumRow& item = m_content.rows.at(i);
        y += kLineSpacing;
        Row row(QRectF(area.left(), y, area.width(), rowHeight), layoutDirection());
        drawTextLine(painter, row.leading(kLetterWidth), item.letter, letterFont, style.secondary, Qt::AlignCenter);
        drawTextLine(painter, row.leading(kTitleWidth), item.title, style.caption2, style.primary,
                     row.leadingAlignment() | Qt::AlignVCenter);
        const QRectF reset = row.trailing(resetWidth);
        if (item.resetText)
            drawTextLine(painter, reset, *item.resetText, style.caption2, style.tertiary,
                         row.trailingAlignment() | Qt::AlignVCenter);
        drawTextLine(painter, row.trailing(percentWidth), item.percentText, percentFont, style.usage(item.color),
                     row.trailingAlignment() | Qt::AlignVCenter);
        const UsageBar bar{m_metrics.at(i).percent, m_mode};
        bar.paint(painter, row.rest(), style, layoutDirection());
        y += rowHeight;
    }
}

} // namespace tallyvue::widget
