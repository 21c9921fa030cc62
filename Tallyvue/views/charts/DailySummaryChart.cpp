// SPDX-License-Identifier: MIT
#include "views/charts/DailySummaryChart.h"

#include "views/charts/ChartPalette.h"
#include "views/common/Style.h"
#include "views/common/UsageState.h"

#include <QEvent>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {
constexpr int kRowGap = 8;
constexpr qreal kHitPointDiameter = 5; // a point mark of area 20
} // namespace

DailySummaryChart::DailySummaryChart(int days, int chartHeight, QWidget* parent)
    : QWidget(parent), m_days(days), m_chartHeight(chartHeight)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(u"Daily peak"_s);
}

void DailySummaryChart::setData(const QList<UsageSnapshot>& history, AIProvider provider)
{
    m_data = Trends::dailyChart(history, provider, m_days, QTimeZone::systemTimeZone(), viewNow());
    QStringList description;
    if (m_data.bars.isEmpty())
        description.append(u"No daily data yet."_s);
    if (!hitText().isEmpty())
        description.append(hitText() + u'.');
    // Every bar in words: "Thu Dec 4: 5-Hour 92%, 7-Day 40%."
    const QLocale locale;
    for (const DailySummary& summary : std::as_const(m_data.summaries)) {
        QStringList values;
        for (const DailyBar& bar : std::as_const(m_data.bars)) {
            if (bar.day == summary.date && bar.seriesIndex < m_data.series.size())
                values.append(m_data.series[bar.seriesIndex].label + u' ' + QString::number(int(bar.peak)) + u'%');
        }
        if (!values.isEmpty())
            description.append(locale.toString(summary.date.toLocalTime().date(), u"ddd MMM d"_s) + u": "_s +
                               values.join(u", "_s) + (summary.hitLimit ? u", limit hit."_s : u"."_s));
    }
    setAccessibleDescription(description.join(u' '));
    updateGeometry();
    update();
}

int DailySummaryChart::headerHeight() const
{
    return QFontMetrics(style::font(TextStyle::Subheadline, QFont::Medium)).height();
}

QSize DailySummaryChart::sizeHint() const
{
    const int body = m_data.bars.isEmpty() ? QFontMetrics(style::font(TextStyle::Caption)).height() : m_chartHeight;
    return {320, headerHeight() + kRowGap + body};
}

QSize DailySummaryChart::minimumSizeHint() const
{
    return {160, sizeHint().height()};
}

void DailySummaryChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor red = style::accentColor(style::Accent::Red, pal);
    if (hasFocus())
        style::paintFocusRing(painter, QRectF(rect()), 6, pal);

    // Header: the title and, when a limit was hit, a red dot and the count of such days.
    const QFont titleFont = style::font(TextStyle::Subheadline, QFont::Medium);
    const QFontMetricsF titleMetrics(titleFont);
    painter.setFont(titleFont);
    painter.setPen(style::textColor(Tone::Primary, pal));
    const QString title = u"Daily peak"_s;
    painter.drawText(QPointF(0, titleMetrics.ascent()), title);
    if (const QString hit = hitText(); !hit.isEmpty()) {
        const QFont small = style::font(TextStyle::Caption2);
        const QFontMetricsF metrics(small);
        qreal x = titleMetrics.horizontalAdvance(title) + 8;
        painter.setPen(Qt::NoPen);
        painter.setBrush(red);
        painter.drawEllipse(QRectF(x, (headerHeight() - 6) / 2.0, 6, 6));
        x += 6 + 4;
        painter.setFont(small);
        painter.setPen(style::textColor(Tone::Secondary, pal));
        painter.drawText(QPointF(x, (headerHeight() - metrics.height()) / 2 + metrics.ascent()), hit);
    }

    const qreal top = headerHeight() + kRowGap;
    if (m_data.bars.isEmpty()) {
        painter.setFont(style::font(TextStyle::Caption));
        painter.setPen(style::textColor(Tone::Tertiary, pal));
        painter.drawText(QRectF(0, top, width(), height() - top), Qt::AlignLeft | Qt::AlignTop,
                         u"No daily data yet."_s);
        return;
    }

    const QFont small = style::font(TextStyle::Caption2);
    const QFontMetricsF metrics(small);
    painter.setFont(small);
    const qreal labelWidth = metrics.horizontalAdvance(u"100%"_s) + 6;
    const QRectF plot(1, top + 4, width() - labelWidth - 2, m_chartHeight - 4 - metrics.height() - 4);
    const QColor grid = style::textColor(Tone::Quaternary, pal);
    const QColor labels = style::textColor(Tone::Tertiary, pal);
    for (int mark : {0, 50, 100}) {
        const qreal y = plot.bottom() - mark / 100.0 * plot.height();
        painter.setPen(QPen(grid, mark == 0 ? 1 : 0.5));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(labels);
        painter.drawText(QRectF(plot.right() + 4, y - metrics.height() / 2, labelWidth, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(mark) + u'%');
    }

    const int days = std::max<qsizetype>(1, m_data.summaries.size());
    const qreal slot = plot.width() / days;
    const int seriesCount = std::max<qsizetype>(1, m_data.series.size());
    const qreal group = slot * 0.64;
    const qreal barWidth = group / seriesCount;
    auto slotOf = [&](const QDateTime& day) {
        for (int i = 0; i < m_data.summaries.size(); ++i) {
            if (m_data.summaries[i].date == day)
                return i;
        }
        return -1;
    };
    const QLocale locale;
    for (int i = 0; i < m_data.summaries.size(); ++i) {
        const qreal centre = plot.left() + slot * (i + 0.5);
        const QString label =
            locale.dayName(m_data.summaries[i].date.toLocalTime().date().dayOfWeek(), QLocale::NarrowFormat);
        painter.setPen(labels);
        painter.drawText(QRectF(centre - slot / 2, plot.bottom() + 4, slot, metrics.height()), Qt::AlignHCenter, label);
    }
    painter.setPen(Qt::NoPen);
    for (const DailyBar& bar : m_data.bars) {
        const int index = slotOf(bar.day);
        if (index < 0)
            continue;
        const qreal left = plot.left() + slot * index + (slot - group) / 2 + bar.seriesIndex * barWidth;
        const qreal h = std::clamp(bar.peak, 0.0, 100.0) / 100.0 * plot.height();
        if (h <= 0)
            continue;
        painter.setBrush(style::chartColor(bar.seriesIndex, pal));
        painter.drawRoundedRect(QRectF(left + 0.5, plot.bottom() - h, barWidth - 1, h), 2, 2);
    }
    painter.setBrush(red);
    for (int i = 0; i < m_data.summaries.size(); ++i) {
        if (!m_data.summaries[i].hitLimit)
            continue;
        const QPointF centre(plot.left() + slot * (i + 0.5), plot.top());
        painter.drawEllipse(centre, kHitPointDiameter / 2, kHitPointDiameter / 2);
    }
}

void DailySummaryChart::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
        update();
}

bool DailySummaryChart::event(QEvent* event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        update();
    return QWidget::event(event);
}

} // namespace tallyvue
