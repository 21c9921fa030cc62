// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Trends.h"

#include <QPolygonF>
#include <QWidget>

#include <optional>

namespace tallyvue {

/// Date marks for a time axis: nicely spaced instants between `from` and `to` (seconds since 1970)
/// with their labels, at most about one per `maxMarks`.
struct DateMark
{
    double x = 0;
    QString label;
};
QList<DateMark> dateMarks(double from, double to, int maxMarks, const QLocale& locale = QLocale());

/**
 * The percent of each limit window over a time range: one line per series (at most four, in
 * series order and palette colours), the fixed 0–100 axis, date marks, the legend below, and
 * under it the readout of the snapshot nearest to the pointer. Drawn with QPainter; long
 * histories are thinned to a few points per pixel column, which keeps their shape.
 */
class UsageHistoryChart : public QWidget
{
    Q_OBJECT

public:
    /// `chartHeight` is the height of the plot with its axes; legend and readout come below.
    explicit UsageHistoryChart(int chartHeight, QWidget* parent = nullptr);

    /// `snapshots` as they are to be drawn, or the full history read as `provider`'s history.
    void setData(const QList<UsageSnapshot>& snapshots, TrendRange range,
                 std::optional<AIProvider> provider = std::nullopt);
    TrendRange range() const { return m_range; }
    const QStringList& shownSeries() const { return m_shown; }
    bool isEmpty() const { return m_empty; }

    std::optional<QDateTime> selectedDate() const { return m_selected; }
    void setSelectedDate(const std::optional<QDateTime>& date);
    /// The readout line as text ("Jan 5, 11:40 AM 5-Hour 42% ..." or the hover hint).
    QString readoutText() const;
    /// What the chart says as a whole, its accessible description:
    /// "Percent used. 5-Hour: now 37%, peak 92% on Dec 4, limit hit on 3 of 14 days."
    QString summaryText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    /// Left and Right step through the snapshots, Home and End go to the first and last, Escape
    /// clears: the readout follows as under the pointer, and is announced.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QRectF plotRect() const;
    int legendHeight() const;
    int readoutHeight() const;
    double xFor(double seconds, const QRectF& plot) const;
    void rebuildPaths();
    void paintEmpty(QPainter& painter);
    void updateAccessibleText();

    int m_chartHeight;
    QList<UsageSnapshot> m_snapshots;
    TrendRange m_range = TrendRange::Day;
    std::optional<AIProvider> m_provider;
    QDateTime m_now;
    QStringList m_shown;
    QList<ChartLine> m_lines;
    bool m_empty = true;
    double m_minX = 0;
    double m_maxX = 1;
    std::optional<QDateTime> m_selected;
    std::optional<ChartReadout> m_readout;
    std::vector<double> m_times; ///< every snapshot's instant, in order, for the keys
    QList<QPolygonF> m_paths;
    QRectF m_pathsPlot;
};

} // namespace tallyvue
