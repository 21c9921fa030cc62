// SPDX-License-Identifier: MIT
#pragma once

#include <QChartView>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

QT_BEGIN_NAMESPACE
class QAbstractBarSeries;
class QBarCategoryAxis;
class QCategoryAxis;
QT_END_NAMESPACE

namespace tallyvue {

/// One stacked series: its legend name, its palette colour and a value per category.
struct BarSeriesData
{
    QString name;
    int colorIndex = 0;
    QList<std::int64_t> values;
    /// Filled with a gradient of the accent colour instead of a palette colour.
    bool accent = false;
};

/**
 * Token bars: vertical (one bar per day) or horizontal (one row per name, the first at the top),
 * stacked by series, the token axis labelled with short counts. Colours follow the palette.
 */
class StackedBarChart : public QChartView
{
    Q_OBJECT

public:
    StackedBarChart(Qt::Orientation orientation, bool legend, QWidget* parent = nullptr);

    void setData(const QStringList& categories, const QList<BarSeriesData>& series);
    QStringList categories() const { return m_categories; }
    const QList<BarSeriesData>& series() const { return m_series; }
    /// The labels of the token axis ("0", "50K", "100K").
    QStringList valueLabels() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();
    Qt::Orientation m_orientation;
    QStringList m_categories;
    QList<BarSeriesData> m_series;
    QAbstractBarSeries* m_bars = nullptr;
    QBarCategoryAxis* m_categoryAxis;
    QCategoryAxis* m_valueAxis;
};

/// Round steps for a token axis reaching at least `maximum`: 0, step, 2 step, ...
QList<std::int64_t> tokenAxisTicks(std::int64_t maximum);

} // namespace tallyvue
