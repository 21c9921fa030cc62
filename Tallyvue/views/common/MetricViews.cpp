// SPDX-License-Identifier: MIT
#include "views/common/MetricViews.h"

#include "model/Formatting.h"
#include "views/common/ProgressBarView.h"
#include "views/common/UsageState.h"
#include "views/common/Widgets.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

QString unitText(std::int64_t count, const char* unit)
{
    return QString::number(count) + u' ' + QLatin1StringView(unit) + (count == 1 ? u""_s : u"s"_s);
}

} // namespace

QString spokenDurationText(double seconds)
{
    const double bounded = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, 9.0e15);
    const auto s = static_cast<std::int64_t>(bounded);
    if (s < 3600)
        return unitText(std::max<std::int64_t>(1, s / 60), "minute");
    if (s < 86400) {
        const auto rest = s % 3600;
        return rest < 60 ? unitText(s / 3600, "hour")
                         : unitText(s / 3600, "hour") + u' ' + unitText(rest / 60, "minute");
    }
    const auto rest = s % 86400;
    return rest < 3600 ? unitText(s / 86400, "day") : unitText(s / 86400, "day") + u' ' + unitText(rest / 3600, "hour");
}

QString spokenMetricText(const ProviderMetric& metric, QuotaDisplayMode mode, const QDateTime& now)
{
    QString text = rawValue(metric.provider) + u", "_s + metric.title + u", "_s + metric.percentText(mode).chopped(1) +
                   (mode == QuotaDisplayMode::Remaining ? u" percent left"_s : u" percent used"_s);
    if (metric.resetsAt) {
        const double seconds = double(now.msecsTo(*metric.resetsAt)) / 1000.0;
        if (seconds > 0)
            text += u", resets in "_s + spokenDurationText(seconds);
    }
    return text;
}

int symbolSize(TextStyle textStyle)
{
    return QFontMetrics(style::font(textStyle)).ascent();
}

ResetCountdownText::ResetCountdownText(std::optional<QDateTime> resetsAt, QWidget* parent)
    : QWidget(parent), m_resetsAt(std::move(resetsAt)),
      m_icon(
          new SymbolLabel(u"arrow.counterclockwise"_s, symbolSize(TextStyle::Caption2), TextColor::of(Tone::Tertiary))),
      m_label(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Tertiary)))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_icon, 0, Qt::AlignVCenter);
    layout->addWidget(m_label, 0, Qt::AlignVCenter);
    m_timer.setInterval(60s);
    connect(&m_timer, &QTimer::timeout, this, &ResetCountdownText::redraw);
    redraw();
}

void ResetCountdownText::setResetsAt(std::optional<QDateTime> resetsAt)
{
    m_resetsAt = std::move(resetsAt);
    redraw();
}

QString ResetCountdownText::text() const
{
    return m_resetsAt ? m_label->text() : QString();
}

void ResetCountdownText::showEvent(QShowEvent* event)
{
    // The minute schedule starts when the text appears.
    redraw();
    m_timer.start();
    QWidget::showEvent(event);
}

void ResetCountdownText::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void ResetCountdownText::redraw()
{
    const auto text = resetCountdownText(m_resetsAt, viewNow());
    m_label->setText(text.value_or(QString()));
    m_icon->setVisible(text.has_value());
    m_label->setVisible(text.has_value());
}

MetricInsightCaption::MetricInsightCaption(const ProviderMetric& metric, const QList<UsageSnapshot>& history,
                                           bool wraps, QWidget* parent)
    : QWidget(parent)
{
    if (wraps) {
        m_layout = new QVBoxLayout(this);
        m_layout->setSpacing(2);
        m_layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    } else {
        m_layout = new QHBoxLayout(this);
        m_layout->setSpacing(8);
        m_layout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    m_layout->setContentsMargins(0, 0, 0, 0);
    setMetric(metric, history);
}

void MetricInsightCaption::setMetric(const ProviderMetric& metric, const QList<UsageSnapshot>& history)
{
    const QDateTime now = viewNow();
    m_caption = insightCaption(Insights::insight(metric, history, now), now);
    while (QLayoutItem* item = m_layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (m_caption.change)
        m_layout->addWidget(partWidget(*m_caption.change));
    if (m_caption.projection)
        m_layout->addWidget(partWidget(*m_caption.projection));
    setVisible(m_caption.change || m_caption.projection);
}

QWidget* MetricInsightCaption::partWidget(const CaptionPart& part)
{
    const TextColor color = TextColor::caption(part.tone);
    auto* text = new TextLabel(part.text, TextStyle::Caption2, color);
    text->setObjectName(u"captionText"_s);
    QWidget* widget = part.icon.isEmpty()
                          ? static_cast<QWidget*>(text)
                          : hbox({new SymbolLabel(part.icon, symbolSize(TextStyle::Caption2), color), text}, 3);
    widget->setToolTip(part.toolTip);
    return widget;
}

MetricRow::MetricRow(const ProviderMetric& metric, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                     const QString& icon, const QString& subtitle, QWidget* parent)
    : QWidget(parent), m_metric(metric), m_title(new TextLabel(metric.title, TextStyle::Subheadline)),
      m_percent(new TextLabel({}, TextStyle::Subheadline)), m_bar(new ProgressBarView(metric.percent, mode, 8)),
      m_subtitle(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Tertiary))),
      m_countdown(new ResetCountdownText), m_caption(new MetricInsightCaption(metric, history, false))
{
    m_title->setObjectName(u"title"_s);
    m_percent->setObjectName(u"percent"_s);
    m_subtitle->setObjectName(u"subtitle"_s);
    m_percent->setTextStyle(TextStyle::Subheadline, QFont::Bold, true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    if (!icon.isEmpty()) {
        auto* symbol = new SymbolLabel(icon, symbolSize(TextStyle::Caption), TextColor::of(Tone::Secondary));
        symbol->setObjectName(u"icon"_s);
        header->addWidget(symbol, 0, Qt::AlignVCenter);
    }
    header->addWidget(m_title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(m_percent, 0, Qt::AlignVCenter);
    layout->addLayout(header);
    layout->addWidget(m_bar);
    m_detailLine = hbox({m_subtitle, nullptr, m_countdown}, 8);
    layout->addWidget(m_detailLine);
    layout->addWidget(m_caption);
    // Read as one group; the name follows the countdown minute by minute.
    setAccessibleGroup(this, QAccessible::Grouping, {});
    m_speechTimer.setInterval(60s);
    connect(&m_speechTimer, &QTimer::timeout, this,
            [this] { setAccessibleName(spokenMetricText(m_metric, m_mode, viewNow())); });
    m_speechTimer.start();
    setMetric(metric, history, mode, subtitle);
}

void MetricRow::setMetric(const ProviderMetric& metric, const QList<UsageSnapshot>& history, QuotaDisplayMode mode,
                          const QString& subtitle)
{
    m_metric = metric;
    m_title->setText(metric.title);
    m_percent->setText(metric.percentText(mode));
    m_percent->setTextColor(TextColor::usage(metric.percent));
    m_bar->setUsage(metric.percent, mode);
    m_subtitle->setText(subtitle);
    m_subtitle->setVisible(!subtitle.isEmpty());
    m_countdown->setResetsAt(metric.resetsAt);
    m_countdown->setVisible(metric.resetsAt.has_value());
    m_detailLine->setVisible(!subtitle.isEmpty() || metric.resetsAt);
    m_caption->setMetric(metric, history);
    m_mode = mode;
    setAccessibleName(spokenMetricText(metric, mode, viewNow()));
}

ModelRow::ModelRow(const QString& name, double utilization, QuotaDisplayMode mode, QWidget* parent)
    : QWidget(parent), m_name(name), m_nameLabel(new TextLabel(name, TextStyle::Caption)),
      m_bar(new ProgressBarView(utilization, mode, 6)),
      m_percent(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary)))
{
    m_nameLabel->setObjectName(u"name"_s);
    m_nameLabel->setFixedWidth(50);
    // Long names ("Weekly Opus") are elided; the whole name is the tooltip.
    m_nameLabel->setToolTip(name);
    m_percent->setObjectName(u"percent"_s);
    m_percent->setTextStyle(TextStyle::Caption, QFont::Normal, true);
    m_percent->setFixedWidth(30);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_nameLabel, 0, Qt::AlignVCenter);
    layout->addWidget(m_bar, 1, Qt::AlignVCenter);
    layout->addWidget(m_percent, 0, Qt::AlignVCenter);
    setAccessibleGroup(this, QAccessible::Grouping, {});
    setUtilization(utilization, mode);
    elideName();
}

void ModelRow::setUtilization(double utilization, QuotaDisplayMode mode)
{
    m_bar->setUsage(utilization, mode);
    m_percent->setText(percentText(utilization, mode));
    setAccessibleName(m_name + u", "_s + percentText(utilization, mode).chopped(1) +
                      (mode == QuotaDisplayMode::Remaining ? u" percent left"_s : u" percent used"_s));
}

void ModelRow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    elideName();
}

void ModelRow::elideName()
{
    // The label's font is final only once it is polished; measure with what it draws.
    m_nameLabel->ensurePolished();
    const QString shown = QFontMetrics(m_nameLabel->font()).elidedText(m_name, Qt::ElideRight, m_nameLabel->width());
    if (shown != m_nameLabel->text())
        m_nameLabel->setText(shown);
    m_nameLabel->setAccessibleName(m_name);
}

StatRow::StatRow(const QString& title, const QString& value, QWidget* parent) : QWidget(parent)
{
    auto* titleLabel = new TextLabel(title, TextStyle::Subheadline, TextColor::of(Tone::Secondary));
    titleLabel->setObjectName(u"title"_s);
    auto* valueLabel = new TextLabel(value, TextStyle::Subheadline);
    valueLabel->setObjectName(u"value"_s);
    valueLabel->setTextStyle(TextStyle::Subheadline, QFont::Medium);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(titleLabel);
    layout->addStretch(1);
    layout->addWidget(valueLabel);
}

} // namespace tallyvue
