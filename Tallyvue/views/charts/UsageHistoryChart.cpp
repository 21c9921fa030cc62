// SPDX-License-Identifier: MIT
#include "views/charts/UsageHistoryChart.h"

#include "views/charts/ChartPalette.h"
#include "views/common/Style.h"
#include "views/common/UsageState.h"

#include <QAccessible>
#include <QEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QSet>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

constexpr int kTopMargin = 14; // room for the rule's label
constexpr int kLegendGap = 6;
constexpr int kReadoutGap = 8;
constexpr int kRingRoom = 4; // the focus ring's width inside the edge
constexpr std::array<int, 5> kPercentMarks{0, 25, 50, 75, 100};

const QString kHoverHint = u"Hover over the chart for exact values"_s;
const QString kEmptyTitle = u"No history yet"_s;
const QString kEmptyText =
    u"Tallyvue records a snapshot every time it refreshes. Trends will appear here as history accumulates."_s;

QFont smallFont(bool digits = false)
{
    return style::font(TextStyle::Caption2, QFont::Normal, digits);
}

bool uses12Hour(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    return format.contains(u"AP", Qt::CaseInsensitive);
}

} // namespace

QList<DateMark> dateMarks(double from, double to, int maxMarks, const QLocale& locale)
{
    QList<DateMark> marks;
    if (!(to > from) || maxMarks < 1)
        return marks;
    static constexpr std::array<qint64, 10> kSteps{1800,      3600,  2 * 3600,  3 * 3600,  6 * 3600,
                                                   12 * 3600, 86400, 2 * 86400, 3 * 86400, 7 * 86400};
    qint64 step = kSteps.back();
    for (qint64 candidate : kSteps) {
        if ((to - from) / double(candidate) <= maxMarks) {
            step = candidate;
            break;
        }
    }
    // Marks fall on whole local hours or local midnights, so they read naturally.
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(from * 1000))).toLocalTime();
    QDateTime mark;
    if (step < 86400) {
        const int hourStep = int(std::max<qint64>(1, step / 3600));
        mark = QDateTime(start.date(), QTime(0, 0));
        while (mark.toSecsSinceEpoch() < from)
            mark = step < 3600 ? mark.addSecs(step) : mark.addSecs(hourStep * 3600);
    } else {
        const int dayStep = int(step / 86400);
        QDate day = start.date();
        if (QDateTime(day, QTime(0, 0)).toSecsSinceEpoch() < from)
            day = day.addDays(1);
        if (dayStep == 7)
            day = day.addDays((8 - day.dayOfWeek()) % 7); // Mondays
        mark = QDateTime(day, QTime(0, 0));
    }
    const QString hourFormat = uses12Hour(locale) ? u"h AP"_s : u"HH:mm"_s;
    while (mark.isValid() && mark.toSecsSinceEpoch() <= to) {
        const bool midnight = mark.time() == QTime(0, 0);
        const QString label = step < 86400 && !midnight ? locale.toString(mark.time(), hourFormat)
                                                        : locale.toString(mark.date(), u"MMM d"_s);
        marks.append({double(mark.toSecsSinceEpoch()), label});
        mark = step < 86400 ? mark.addSecs(step) : mark.addDays(step / 86400);
    }
    return marks;
}

UsageHistoryChart::UsageHistoryChart(int chartHeight, QWidget* parent) : QWidget(parent), m_chartHeight(chartHeight)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(u"Usage history"_s);
    updateAccessibleText();
}

void UsageHistoryChart::setData(const QList<UsageSnapshot>& snapshots, TrendRange range,
                                std::optional<AIProvider> provider)
{
    m_snapshots = snapshots;
    m_range = range;
    m_provider = provider;
    m_now = viewNow();
    m_shown = Trends::shownSeries(snapshots, provider);
    m_lines = Trends::chartLines(snapshots, m_shown, range, m_now, provider);
    m_empty = std::all_of(m_lines.begin(), m_lines.end(), [](const ChartLine& line) { return line.x.empty(); });
    m_minX = std::numeric_limits<double>::max();
    m_maxX = std::numeric_limits<double>::lowest();
    for (const ChartLine& line : m_lines) {
        if (!line.x.empty()) {
            // Each line is in time order, so its ends bound it.
            m_minX = std::min({m_minX, line.x.front(), line.x.back()});
            m_maxX = std::max({m_maxX, line.x.front(), line.x.back()});
        }
    }
    if (m_empty || m_maxX - m_minX < 60) {
        const double centre = m_empty ? double(m_now.toSecsSinceEpoch()) : (m_minX + m_maxX) / 2;
        m_minX = centre - 1800;
        m_maxX = centre + 1800;
    }
    m_times.clear();
    for (const ChartLine& line : m_lines)
        m_times.insert(m_times.end(), line.x.begin(), line.x.end());
    std::sort(m_times.begin(), m_times.end());
    m_times.erase(std::unique(m_times.begin(), m_times.end()), m_times.end());
    m_readout =
        m_selected ? Trends::readout(m_snapshots, m_shown, m_range, m_now, *m_selected, m_provider) : std::nullopt;
    m_pathsPlot = {};
    updateGeometry();
    updateAccessibleText();
    update();
}

void UsageHistoryChart::setSelectedDate(const std::optional<QDateTime>& date)
{
    if (date == m_selected)
        return;
    m_selected = date;
    m_readout =
        m_selected ? Trends::readout(m_snapshots, m_shown, m_range, m_now, *m_selected, m_provider) : std::nullopt;
    updateAccessibleText();
    update();
}

QString UsageHistoryChart::readoutText() const
{
    if (m_empty)
        return kEmptyTitle + u". "_s + kEmptyText;
    if (!m_readout)
        return kHoverHint;
    QStringList parts{Trends::readoutDateText(m_readout->date)};
    for (const ChartReadout::Value& value : m_readout->values)
        parts.append(m_shown.value(value.seriesIndex) + u' ' + value.text);
    return parts.join(u", "_s);
}

QString UsageHistoryChart::summaryText() const
{
    if (m_empty)
        return kEmptyTitle + u". "_s + kEmptyText;
    const QLocale locale;
    QStringList parts{u"Percent used."_s};
    for (int i = 0; i < m_lines.size() && i < m_shown.size(); ++i) {
        const ChartLine& line = m_lines[i];
        if (line.y.empty())
            continue;
        const auto peak = std::max_element(line.y.begin(), line.y.end());
        const QDateTime peakDate =
            QDateTime::fromSecsSinceEpoch(qint64(line.x[size_t(peak - line.y.begin())])).toLocalTime();
        QSet<QDate> days, hitDays;
        for (size_t k = 0; k < line.x.size(); ++k) {
            const QDate day = QDateTime::fromSecsSinceEpoch(qint64(line.x[k])).toLocalTime().date();
            days.insert(day);
            if (line.y[k] >= 100)
                hitDays.insert(day);
        }
        QString text = m_shown[i] + u": now "_s + QString::number(int(line.y.back())) + u"%, peak "_s +
                       QString::number(int(*peak)) + u"% on "_s + locale.toString(peakDate.date(), u"MMM d"_s);
        if (!hitDays.isEmpty())
            text += u", limit hit on "_s + QString::number(hitDays.size()) + u" of "_s + QString::number(days.size()) +
                    (days.size() == 1 ? u" day"_s : u" days"_s);
        parts.append(text + u'.');
    }
    return parts.join(u' ');
}

void UsageHistoryChart::updateAccessibleText()
{
    // The summary describes the chart; a chosen point (pointer or arrow keys) is read first, and
    // the change is announced.
    const QString description = m_readout ? readoutText() + u". "_s + summaryText() : summaryText();
    if (description != accessibleDescription())
        setAccessibleDescription(description);
}

void UsageHistoryChart::keyPressEvent(QKeyEvent* event)
{
    if (m_empty || m_times.empty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    const double current = m_selected ? double(m_selected->toMSecsSinceEpoch()) / 1000.0 : m_times.back();
    const auto after = std::upper_bound(m_times.begin(), m_times.end(), current + 0.5);
    const auto before = std::lower_bound(m_times.begin(), m_times.end(), current - 0.5);
    std::optional<double> target;
    switch (event->key()) {
    case Qt::Key_Right: target = m_selected ? (after != m_times.end() ? *after : m_times.back()) : m_times.back(); break;
    case Qt::Key_Left:
        target = m_selected ? (before != m_times.begin() ? *std::prev(before) : m_times.front()) : m_times.back();
        break;
    case Qt::Key_Home: target = m_times.front(); break;
    case Qt::Key_End: target = m_times.back(); break;
    case Qt::Key_Escape:
        if (!m_selected) {
            QWidget::keyPressEvent(event);
            return;
        }
        setSelectedDate(std::nullopt);
        return;
    default: QWidget::keyPressEvent(event); return;
    }
    setSelectedDate(QDateTime::fromMSecsSinceEpoch(qint64(std::llround(*target * 1000)), Qt::UTC));
}

void UsageHistoryChart::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void UsageHistoryChart::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

int UsageHistoryChart::legendHeight() const
{
    return QFontMetrics(smallFont()).height() + kLegendGap;
}

int UsageHistoryChart::readoutHeight() const
{
    return kReadoutGap + QFontMetrics(smallFont(true)).height();
}

QSize UsageHistoryChart::sizeHint() const
{
    // A few pixels under the readout keep it clear of the focus ring.
    return {320, m_chartHeight + legendHeight() + readoutHeight() + kRingRoom};
}

QSize UsageHistoryChart::minimumSizeHint() const
{
    return {160, sizeHint().height()};
}

QRectF UsageHistoryChart::plotRect() const
{
    const QFontMetricsF metrics(smallFont());
    const qreal labelWidth = metrics.horizontalAdvance(u"100%"_s) + 6;
    const qreal labelHeight = metrics.height() + 4;
    return QRectF(kRingRoom, kTopMargin, width() - labelWidth - kRingRoom - 1,
                  m_chartHeight - kTopMargin - labelHeight);
}

double UsageHistoryChart::xFor(double seconds, const QRectF& plot) const
{
    return plot.left() + (seconds - m_minX) / (m_maxX - m_minX) * plot.width();
}

void UsageHistoryChart::rebuildPaths()
{
    const QRectF plot = plotRect();
    m_pathsPlot = plot;
    m_paths.clear();
    const double scaleX = plot.width() / (m_maxX - m_minX);
    const double dpr = devicePixelRatioF();
    for (const ChartLine& line : m_lines) {
        // Per device pixel column keep the lowest and highest point, in the order they came:
        // the drawn line looks the same as with every point, at a small fraction of the work.
        QPolygonF path;
        path.reserve(qsizetype(std::min<size_t>(line.x.size(), size_t(plot.width() * dpr * 2 + 8))));
        long column = std::numeric_limits<long>::min();
        double low = 0, high = 0, columnX = 0;
        bool lowFirst = true;
        auto flush = [&] {
            if (column == std::numeric_limits<long>::min())
                return;
            path.append({columnX, lowFirst ? low : high});
            if (high != low)
                path.append({columnX, lowFirst ? high : low});
        };
        for (size_t i = 0; i < line.x.size(); ++i) {
            const double px = plot.left() + (line.x[i] - m_minX) * scaleX;
            const double py = plot.bottom() - line.y[i] / 100.0 * plot.height();
            const long c = long(std::floor(px * dpr));
            if (c != column) {
                flush();
                column = c;
                columnX = px;
                low = high = py;
                lowFirst = true;
            } else if (py < low) {
                low = py;
                lowFirst = false;
            } else if (py > high) {
                high = py;
                lowFirst = true;
            }
        }
        flush();
        m_paths.append(std::move(path));
    }
}

void UsageHistoryChart::paintEmpty(QPainter& painter)
{
    const QPalette& pal = palette();
    const int symbolSide = 36;
    const QFont title = style::font(TextStyle::Headline);
    const QFont text = style::font(TextStyle::Caption);
    const QRectF area = QRectF(rect()).adjusted(16, 0, -16, 0);
    const QRectF textBounds = QFontMetricsF(text).boundingRect(area, Qt::AlignHCenter | Qt::TextWordWrap, kEmptyText);
    const qreal titleHeight = QFontMetricsF(title).height();
    const qreal total = symbolSide + 8 + titleHeight + 4 + textBounds.height();
    qreal y = (height() - total) / 2;
    const QPixmap icon = style::symbol(u"chart.line.uptrend.xyaxis"_s, symbolSide,
                                       style::textColor(Tone::Secondary, pal), devicePixelRatioF());
    painter.drawPixmap(QPointF((width() - symbolSide) / 2.0, y), icon);
    y += symbolSide + 8;
    painter.setFont(title);
    painter.setPen(style::textColor(Tone::Primary, pal));
    painter.drawText(QRectF(area.left(), y, area.width(), titleHeight), Qt::AlignHCenter, kEmptyTitle);
    y += titleHeight + 4;
    painter.setFont(text);
    painter.setPen(style::textColor(Tone::Secondary, pal));
    painter.drawText(QRectF(area.left(), y, area.width(), textBounds.height() + 2), Qt::AlignHCenter | Qt::TextWordWrap,
                     kEmptyText);
}

void UsageHistoryChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    if (hasFocus())
        style::paintFocusRing(painter, QRectF(rect()), 6, pal);
    if (m_empty) {
        paintEmpty(painter);
        return;
    }
    const QRectF plot = plotRect();
    if (plot != m_pathsPlot)
        rebuildPaths();
    const QColor grid = style::textColor(Tone::Quaternary, pal);
    const QColor labels = style::textColor(Tone::Tertiary, pal);
    const QFont small = smallFont();
    const QFontMetricsF metrics(small);
    painter.setFont(small);

    // The fixed percent axis on the trailing side, with its grid.
    for (int mark : kPercentMarks) {
        const qreal y = plot.bottom() - mark / 100.0 * plot.height();
        painter.setPen(QPen(grid, mark == 0 ? 1 : 0.5));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(labels);
        painter.drawText(
            QRectF(plot.right() + 4, y - metrics.height() / 2, width() - plot.right() - 4, metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, QString::number(mark) + u'%');
    }
    // Date marks with their grid lines.
    const int maxMarks = std::max(1, int(plot.width() / 72));
    for (const DateMark& mark : dateMarks(m_minX, m_maxX, maxMarks)) {
        const qreal x = xFor(mark.x, plot);
        painter.setPen(QPen(grid, 0.5));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(labels);
        const qreal w = metrics.horizontalAdvance(mark.label);
        const qreal left = std::clamp(x - w / 2, 0.0, plot.right() - w);
        painter.drawText(QPointF(left, plot.bottom() + 3 + metrics.ascent()), mark.label);
    }

    // The lines, clipped to the plot (a value above 100 must not run over the legend).
    painter.save();
    painter.setClipRect(plot.adjusted(-2, -2, 2, 2));
    for (int i = 0; i < m_paths.size(); ++i) {
        if (m_paths[i].isEmpty())
            continue;
        QPen pen(style::chartColor(i, pal), 2, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin);
        painter.setPen(pen);
        const QPolygonF& path = m_paths[i];
        if (path.size() == 1) {
            painter.drawPoint(path.first());
            continue;
        }
        // Short pieces rasterize much faster than one long self-overlapping stroke; the round
        // caps hide the seams.
        constexpr qsizetype kPiece = 8;
        for (qsizetype start = 0; start + 1 < path.size(); start += kPiece)
            painter.drawPolyline(path.constData() + start, int(std::min(kPiece + 1, path.size() - start)));
    }
    painter.restore();

    // The hovered instant.
    if (m_selected) {
        const qreal x = xFor(double(m_selected->toMSecsSinceEpoch()) / 1000.0, plot);
        if (x >= plot.left() - 1 && x <= plot.right() + 1) {
            painter.setPen(QPen(style::textColor(Tone::Tertiary, pal), 1));
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            const QString selected = u"Selected"_s;
            const qreal w = metrics.horizontalAdvance(selected);
            painter.setPen(labels);
            painter.drawText(QPointF(std::clamp(x - w / 2, 0.0, width() - w), plot.top() - 3), selected);
        }
    }

    // Legend below the chart, 8 apart.
    qreal x = plot.left();
    const qreal legendTop = m_chartHeight + kLegendGap / 2.0;
    for (int i = 0; i < m_shown.size(); ++i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(style::chartColor(i, pal));
        painter.drawEllipse(QRectF(x, legendTop + (metrics.height() - 7) / 2, 7, 7));
        x += 7 + 4;
        painter.setPen(style::textColor(Tone::Secondary, pal));
        painter.drawText(QPointF(x, legendTop + metrics.ascent()), m_shown[i]);
        x += metrics.horizontalAdvance(m_shown[i]) + 8;
    }
    // The axis is always the used share, also when the popover shows what is left.
    painter.setPen(labels);
    painter.drawText(QPointF(x + 4, legendTop + metrics.ascent()), u"% used"_s);

    // Readout, 8 below the chart.
    const qreal readoutTop = m_chartHeight + legendHeight() + kReadoutGap;
    if (!m_readout) {
        painter.setPen(style::textColor(Tone::Tertiary, pal));
        painter.drawText(QPointF(plot.left(), readoutTop + metrics.ascent()), kHoverHint);
        return;
    }
    const QFont digits = smallFont(true);
    const QFontMetricsF digitMetrics(digits);
    painter.setFont(digits);
    painter.setPen(style::textColor(Tone::Secondary, pal));
    const QString date = Trends::readoutDateText(m_readout->date);
    x = plot.left();
    painter.drawText(QPointF(x, readoutTop + digitMetrics.ascent()), date);
    x += digitMetrics.horizontalAdvance(date) + 10;
    for (const ChartReadout::Value& value : m_readout->values) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(style::chartColor(value.seriesIndex, pal));
        painter.drawEllipse(QRectF(x, readoutTop + (digitMetrics.height() - 6) / 2, 6, 6));
        x += 6 + 3;
        painter.setPen(style::textColor(Tone::Secondary, pal));
        painter.drawText(QPointF(x, readoutTop + digitMetrics.ascent()), value.text);
        x += digitMetrics.horizontalAdvance(value.text) + 10;
    }
}

void UsageHistoryChart::mouseMoveEvent(QMouseEvent* event)
{
    const QRectF plot = plotRect();
    const QPointF pos = event->position();
    if (m_empty || !plot.adjusted(0, 0, 0, 0).contains(pos)) {
        setSelectedDate(std::nullopt);
        return;
    }
    const double seconds = m_minX + (pos.x() - plot.left()) / plot.width() * (m_maxX - m_minX);
    setSelectedDate(QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000)), Qt::UTC));
}

void UsageHistoryChart::leaveEvent(QEvent* event)
{
    setSelectedDate(std::nullopt);
    QWidget::leaveEvent(event);
}

void UsageHistoryChart::resizeEvent(QResizeEvent* event)
{
    m_pathsPlot = {};
    QWidget::resizeEvent(event);
}

void UsageHistoryChart::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
        update();
}

} // namespace tallyvue
