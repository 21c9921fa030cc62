// SPDX-License-Identifier: MIT
#include "views/charts/StackedBarChart.h"

#include "local/LocalUsageAggregation.h"
#include "views/charts/ChartPalette.h"
#include "views/common/Style.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QCategoryAxis>
#include <QGraphicsLayout>
#include <QHorizontalStackedBarSeries>
#include <QLegend>
#include <QStackedBarSeries>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue {

QList<std::int64_t> tokenAxisTicks(std::int64_t maximum)
{
    maximum = std::max<std::int64_t>(maximum, 1);
    // The smallest step of 1, 2 or 5 times a power of ten that needs at most four steps.
    const auto fits = [maximum](std::int64_t step) { return (maximum + step - 1) / step <= 4; };
    std::int64_t step = 1;
    for (std::int64_t magnitude = 1; !fits(step); magnitude *= 10) {
        for (const std::int64_t factor : {1, 2, 5}) {
            step = magnitude * factor;
            if (fits(step))
                break;
        }
    }
    QList<std::int64_t> ticks{0};
    while (ticks.back() < maximum)
        ticks.append(ticks.back() + step);
    return ticks;
}

StackedBarChart::StackedBarChart(Qt::Orientation orientation, bool legend, QWidget* parent)
    : QChartView(parent), m_orientation(orientation), m_categoryAxis(new QBarCategoryAxis),
      m_valueAxis(new QCategoryAxis)
{
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setStyleSheet(u"background: transparent"_s);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QChart* chart = this->chart();
    chart->setBackgroundVisible(false);
    // Room for the last axis labels, which are centred on the plot's edges.
    chart->setMargins(QMargins(0, 8, 20, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setVisible(legend);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setFont(style::font(style::TextStyle::Caption2));
    m_valueAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(m_categoryAxis), static_cast<QAbstractAxis*>(m_valueAxis)}) {
        axis->setLabelsFont(style::font(style::TextStyle::Caption2));
        axis->setLineVisible(false);
        // A narrow popover would otherwise cut project names and counts down to "...".
        axis->setTruncateLabels(false);
    }
    m_categoryAxis->setGridLineVisible(false);
    const bool vertical = orientation == Qt::Vertical;
    chart->addAxis(m_categoryAxis, vertical ? Qt::AlignBottom : Qt::AlignLeft);
    chart->addAxis(m_valueAxis, vertical ? Qt::AlignLeft : Qt::AlignBottom);
    applyColors();
}

void StackedBarChart::setData(const QStringList& categories, const QList<BarSeriesData>& series)
{
    m_categories = categories;
    m_series = series;
    QChart* chart = this->chart();
    if (m_bars) {
        chart->removeSeries(m_bars);
        delete m_bars;
    }
    if (m_orientation == Qt::Vertical)
        m_bars = new QStackedBarSeries;
    else
        m_bars = new QHorizontalStackedBarSeries;
    m_bars->setBarWidth(m_orientation == Qt::Vertical ? 0.6 : 0.7);
    // Horizontal bars are drawn from the bottom up; the first name belongs at the top.
    QStringList shown = categories;
    if (m_orientation == Qt::Horizontal)
        std::reverse(shown.begin(), shown.end());
    std::int64_t maximum = 0;
    QList<std::int64_t> sums(categories.size(), 0);
    for (const BarSeriesData& entry : series) {
        auto* set = new QBarSet(entry.name);
        for (qsizetype i = 0; i < categories.size(); ++i) {
            const qsizetype at = m_orientation == Qt::Horizontal ? categories.size() - 1 - i : i;
            const std::int64_t value = at < entry.values.size() ? entry.values[at] : 0;
            set->append(double(value));
            sums[i] += value;
        }
        m_bars->append(set);
    }
    for (std::int64_t sum : sums)
        maximum = std::max(maximum, sum);
    chart->addSeries(m_bars);
    m_bars->attachAxis(m_categoryAxis);
    m_bars->attachAxis(m_valueAxis);
    m_categoryAxis->setCategories(shown);

    for (const QString& label : m_valueAxis->categoriesLabels())
        m_valueAxis->remove(label);
    const QList<std::int64_t> ticks = tokenAxisTicks(maximum);
    m_valueAxis->setStartValue(0);
    for (std::int64_t tick : ticks)
        m_valueAxis->append(shortTokenCount(tick), double(tick));
    m_valueAxis->setRange(0, double(ticks.back()));
    applyColors();
}

QStringList StackedBarChart::valueLabels() const
{
    return m_valueAxis->categoriesLabels();
}

void StackedBarChart::changeEvent(QEvent* event)
{
    QChartView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyColors();
}

void StackedBarChart::applyColors()
{
    const QPalette& pal = palette();
    const QColor label = style::textColor(style::Tone::Secondary, pal);
    QColor grid = style::textColor(style::Tone::Primary, pal);
    grid.setAlphaF(0.08f);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(m_categoryAxis), static_cast<QAbstractAxis*>(m_valueAxis)}) {
        axis->setLabelsColor(label);
        axis->setGridLineColor(grid);
    }
    chart()->legend()->setLabelColor(label);
    if (!m_bars)
        return;
    const QList<QBarSet*> sets = m_bars->barSets();
    for (qsizetype i = 0; i < sets.size() && i < m_series.size(); ++i) {
        QBarSet* set = sets[i];
        set->setBorderColor(Qt::transparent);
        if (m_series[i].accent) {
            const QColor accent = style::accentColor(style::Accent::Blue, pal);
            QLinearGradient gradient(0, 0, 0, 1);
            gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
            gradient.setColorAt(0, accent);
            gradient.setColorAt(1, accent.lighter(140));
            set->setBrush(gradient);
        } else {
            set->setColor(style::chartColor(m_series[i].colorIndex, pal));
        }
        set->setPen(Qt::NoPen);
    }
}

} // namespace tallyvue
