// SPDX-License-Identifier: MIT
#include "views/popover/OverviewView.h"

#include "model/Formatting.h"
#include "views/common/MetricViews.h"
#include "views/common/ProgressBarView.h"
#include "views/local/LocalOverviewView.h"
#include "views/popover/ProviderCards.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QTextLayout>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

QList<ProviderMetric> overviewMetrics(const UsageState& state, AIProvider provider)
{
    QList<ProviderMetric> metrics = state.metrics(provider);
    if (provider == AIProvider::Claude)
        metrics.removeIf([](const ProviderMetric& metric) { return isModelWeeklyKind(metric.kind); });
    return metrics;
}

std::optional<ProviderMetric> highestMetric(const QList<ProviderMetric>& metrics)
{
    std::optional<ProviderMetric> highest;
    for (const ProviderMetric& metric : metrics) {
        if (!highest || metric.percent > highest->percent)
            highest = metric;
    }
    return highest;
}

ElidedLabel::ElidedLabel(const QString& text, style::TextStyle textStyle, TextColor color, int maxLines,
                         QWidget* parent)
    : TextLabel(text, textStyle, std::move(color), parent), m_fullText(text), m_maxLines(maxLines)
{
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text)
{
    m_fullText = text;
    setText(elided(width()));
    updateGeometry();
}

QString ElidedLabel::elided(int width) const
{
    if (width <= 0)
        return m_fullText;
    const QFontMetrics metrics(font());
    QTextLayout layout(m_fullText, font());
    layout.beginLayout();
    QStringList lines;
    for (int line = 0; line < m_maxLines; ++line) {
        QTextLine textLine = layout.createLine();
        if (!textLine.isValid())
            break;
        textLine.setLineWidth(width);
        const QString piece = m_fullText.mid(textLine.textStart(), textLine.textLength());
        if (line == m_maxLines - 1 && textLine.textStart() + textLine.textLength() < m_fullText.size())
            lines.append(metrics.elidedText(m_fullText.mid(textLine.textStart()), Qt::ElideRight, width));
        else
            lines.append(piece.trimmed());
    }
    layout.endLayout();
    return lines.join(u'\n');
}

int ElidedLabel::heightForWidth(int width) const
{
    const int lines = int(elided(width).count(u'\n')) + 1;
    return lines * QFontMetrics(font()).lineSpacing();
}

QSize ElidedLabel::sizeHint() const
{
    return {QFontMetrics(font()).horizontalAdvance(m_fullText), heightForWidth(width() > 0 ? width() : 300)};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QFontMetrics(font()).lineSpacing()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    TextLabel::resizeEvent(event);
    const QString text = elided(width());
    if (text != this->text()) {
        setText(text);
        updateGeometry();
    }
}

OverviewProviderCard::OverviewProviderCard(AIProvider provider, QWidget* parent)
    : Card(8, parent), m_provider(provider), m_highest(new TextLabel({}, TextStyle::Subheadline)), m_lines(new QWidget)
{
    m_highest->setObjectName(u"highest"_s);
    m_highest->setTextStyle(TextStyle::Subheadline, QFont::DemiBold, true);
    auto* name = new TextLabel(productName(provider), TextStyle::Headline);
    name->setObjectName(u"cardTitle"_s);
    body()->addWidget(hbox({new ProviderLogo(provider, 16), name, nullptr, m_highest}, 8));
    body()->addWidget(new Divider);
    auto* lines = new QVBoxLayout(m_lines);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(6);
    body()->addWidget(m_lines);
    // Read as the provider's card, not an anonymous frame.
    setAccessibleGroup(this, QAccessible::Grouping, productName(provider));
}

void OverviewProviderCard::setState(const UsageState& state, QuotaDisplayMode mode)
{
    const QList<ProviderMetric> metrics = overviewMetrics(state, m_provider);
    const QDateTime now = viewNow();
    const auto highest = highestMetric(metrics);
    m_highest->setVisible(highest.has_value());
    if (highest) {
        m_highest->setText(highest->percentText(mode));
        m_highest->setTextColor(TextColor::usage(highest->percent));
    }

    QString structure;
    for (const ProviderMetric& metric : metrics)
        structure += metric.id() + (metric.resetsAt && *metric.resetsAt > now ? u"+|"_s : u"|"_s);
    const QString emptyText = state.error(m_provider).value_or(u"Not connected"_s);
    if (metrics.isEmpty())
        structure = u"empty"_s;

    auto* layout = static_cast<QVBoxLayout*>(m_lines->layout());
    if (structure != m_structure) {
        m_structure = structure;
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        if (metrics.isEmpty()) {
            auto* message = new ElidedLabel(emptyText, TextStyle::Caption, TextColor::of(Tone::Tertiary), 2);
            message->setObjectName(u"emptyText"_s);
            layout->addWidget(message);
        }
        for (const ProviderMetric& metric : metrics) {
            auto* line = new QWidget;
            line->setObjectName(metric.id());
            // One text per row, as a Models row reads, instead of three loose labels.
            setAccessibleGroup(line, QAccessible::Grouping, {});
            auto* row = new QHBoxLayout(line);
            row->setContentsMargins(0, 0, 0, 0);
            row->setSpacing(8);
            auto* title = new ElidedLabel(metric.title, TextStyle::Caption, TextColor::of(Tone::Primary), 1);
            title->setObjectName(u"title"_s);
            // The title takes the room the row has, up to its full text; the bar gets the rest.
            title->setMinimumWidth(70);
            title->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            auto* percent = new TextLabel({}, TextStyle::Caption);
            percent->setObjectName(u"percent"_s);
            percent->setTextStyle(TextStyle::Caption, QFont::Normal, true);
            percent->setFixedWidth(36);
            percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            row->addWidget(title, 2, Qt::AlignVCenter);
            auto* bar = new ProgressBarView(metric.percent, mode, 6);
            bar->setMinimumWidth(60);
            row->addWidget(bar, 1, Qt::AlignVCenter);
            row->addWidget(percent, 0, Qt::AlignVCenter);
            if (metric.resetsAt && *metric.resetsAt > now) {
                auto* left = new TextLabel({}, TextStyle::Caption2, TextColor::of(Tone::Tertiary));
                left->setObjectName(u"timeLeft"_s);
                left->setTextStyle(TextStyle::Caption2, QFont::Normal, true);
                left->setFixedWidth(44);
                left->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                row->addWidget(left, 0, Qt::AlignVCenter);
            }
            layout->addWidget(line);
        }
    }
    if (metrics.isEmpty()) {
        if (auto* message = m_lines->findChild<ElidedLabel*>(u"emptyText"_s))
            message->setFullText(emptyText);
        return;
    }
    for (qsizetype i = 0; i < metrics.size(); ++i) {
        const ProviderMetric& metric = metrics[i];
        QWidget* line = layout->itemAt(int(i))->widget();
        auto* title = line->findChild<ElidedLabel*>(u"title"_s);
        title->setFullText(metric.title);
        title->setMaximumWidth(std::max(70, QFontMetrics(title->font()).horizontalAdvance(metric.title) + 2));
        line->setAccessibleName(spokenMetricText(metric, mode, now));
        line->findChild<ProgressBarView*>()->setUsage(metric.percent, mode);
        auto* percent = line->findChild<TextLabel*>(u"percent"_s);
        percent->setText(metric.percentText(mode));
        percent->setTextColor(TextColor::usage(metric.percent));
        if (auto* left = line->findChild<TextLabel*>(u"timeLeft"_s))
            left->setText(durationText(double(now.msecsTo(*metric.resetsAt)) / 1000.0));
    }
}

OverviewView::OverviewView(bool compact, QWidget* parent) : QWidget(parent), m_compact(compact)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    if (!compact) {
        auto* title = new TextLabel(u"Overview"_s, TextStyle::Title2);
        title->setTextStyle(TextStyle::Title2, QFont::DemiBold);
        title->setObjectName(u"overviewTitle"_s);
        layout->addWidget(title);
    }
    for (AIProvider provider : kAllProviders)
        m_cards.append(new OverviewProviderCard(provider));
    if (compact) {
        for (OverviewProviderCard* card : std::as_const(m_cards))
            layout->addWidget(card);
    } else {
        m_grid = new QGridLayout;
        m_grid->setSpacing(12);
        layout->addLayout(m_grid);
        arrange();
    }
    // Below the account cards: what this computer itself spent, for every provider.
    m_local = new LocalOverviewView(std::nullopt, compact);
    layout->addWidget(m_local);
    layout->addStretch(1);
}

OverviewProviderCard* OverviewView::card(AIProvider provider) const
{
    for (OverviewProviderCard* card : m_cards) {
        if (card->provider() == provider)
            return card;
    }
    return nullptr;
}

void OverviewView::setState(const UsageState& state, QuotaDisplayMode mode)
{
    for (OverviewProviderCard* card : std::as_const(m_cards))
        card->setState(state, mode);
    m_local->setState(state);
}

void OverviewView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_grid)
        arrange();
}

void OverviewView::arrange()
{
    // Adaptive columns of at least 300 wide.
    const int columns = std::max(1, (width() + 12) / (300 + 12));
    if (columns == m_columns)
        return;
    m_columns = columns;
    for (OverviewProviderCard* card : std::as_const(m_cards))
        m_grid->removeWidget(card);
    for (int i = 0; i < m_cards.size(); ++i)
        m_grid->addWidget(m_cards[i], i / columns, i % columns, Qt::AlignTop);
}

} // namespace tallyvue
