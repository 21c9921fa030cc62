// SPDX-License-Identifier: MIT
#include "ui/UsageWidgetView.h"

#include "logic/WidgetContent.h"
#include "ui/MediumUsageView.h"
#include "ui/SmallUsageView.h"
#include "ui/WidgetStyle.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace tallyvue::widget {

namespace {

constexpr double kCornerRadius = 20;
constexpr double kEmptySpacing = 6;
constexpr double kEmptyPadding = 16;

} // namespace

UsageWidgetView::UsageWidgetView(WidgetFamily family, QWidget* parent)
    : QWidget(parent), m_family(family), m_small(new SmallUsageView(this)), m_medium(new MediumUsageView(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    refresh();
}

void UsageWidgetView::setFamily(WidgetFamily family)
{
    m_family = family;
    updateGeometry();
    refresh();
}

void UsageWidgetView::setEntry(const UsageEntry& entry)
{
    m_entry = entry;
    refresh();
}

bool UsageWidgetView::showsEmptyState() const
{
    return isEmptyEntry(m_entry);
}

QSize UsageWidgetView::sizeHint() const
{
    return familySize(m_family);
}

void UsageWidgetView::refresh()
{
    const bool empty = showsEmptyState();
    m_small->setVisible(!empty && m_family == WidgetFamily::Small);
    m_medium->setVisible(!empty && m_family == WidgetFamily::Medium);
    if (!empty) {
        m_small->setSnapshot(*m_entry.snapshot, m_entry.date);
        m_medium->setSnapshot(*m_entry.snapshot, m_entry.date);
    }
    setAccessibleName(empty ? kEmptyStateText.toString() : kHeaderTitle.toString() + QStringLiteral(" usage"));
    update();
}

void UsageWidgetView::resizeEvent(QResizeEvent*)
{
    m_small->setGeometry(rect());
    m_medium->setGeometry(rect());
}

QImage UsageWidgetView::renderImage(double scale)
{
    QImage image(size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void UsageWidgetView::paintEvent(QPaintEvent*)
{
    const WidgetStyle style = WidgetStyle::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // The card: the palette's window colour with a hairline edge, inset half a pixel to stay crisp.
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(card, kCornerRadius, kCornerRadius);
    painter.fillPath(shape, style.card);
    painter.setPen(QPen(style.cardEdge, 1));
    painter.drawPath(shape);

    if (!showsEmptyState())
        return;
    const QRectF area = QRectF(rect()).adjusted(kEmptyPadding, kEmptyPadding, -kEmptyPadding, -kEmptyPadding);
    const double symbolSide = lineHeight(style.title2) * 1.1;
    const QString text = kEmptyStateText.toString();
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const QFontMetricsF metrics(style.caption);
    const auto boxFor = [&](double width) { return metrics.boundingRect(QRectF(0, 0, width, 1e4), flags, text); };
    // Narrow the box as far as the line count allows, so a wrapped text breaks evenly, not with one word below.
    const QRectF textBox = boxFor(area.width());
    double narrow = 0;
    double wide = area.width();
    for (int step = 0; step < 12; ++step) {
        const double middle = (narrow + wide) / 2;
        (boxFor(middle).height() > textBox.height() ? narrow : wide) = middle;
    }
    const QRectF textArea(area.center().x() - wide / 2, 0, wide, textBox.height());
    const double top = area.center().y() - (symbolSide + kEmptySpacing + textBox.height()) / 2;
    drawGaugeSymbol(painter, QRectF(area.left(), top, area.width(), symbolSide), style.secondary);
    painter.setFont(style.caption);
    painter.setPen(style.secondary);
    painter.drawText(textArea.translated(0, top + symbolSide + kEmptySpacing), flags, text);
}

} // namespace tallyvue::widget
