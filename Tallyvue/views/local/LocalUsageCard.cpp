// SPDX-License-Identifier: MIT
#include "views/local/LocalUsageCard.h"

#include "local/LocalOverviewModel.h"
#include "views/charts/StackedBarChart.h"
#include "views/common/MetricViews.h"
#include "views/local/ComputerName.h"

#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

/**
 * A window row's counts and cost: one line while the row has room, else its last part on a
 * line of its own, so that a heavy week never pushes the card past the popover's edge. It asks
 * for the one-line width and settles on the form when the layout has given it its width.
 */
class WindowDetailLabel : public TextLabel
{
public:
    WindowDetailLabel(const QString& line, TextStyle textStyle, TextColor color)
        : TextLabel(line, textStyle, color), m_line(line)
    {
        const qsizetype gap = line.lastIndexOf(kGap);
        m_split = gap < 0 ? line : line.left(gap) + u'\n' + line.mid(gap + kGap.size());
    }

    QString line() const { return m_line; }

    QSize sizeHint() const override
    {
        QSize hint = TextLabel::sizeHint();
        hint.setWidth(oneLineWidth());
        return hint;
    }
    QSize minimumSizeHint() const override
    {
        QSize hint = TextLabel::sizeHint();
        const QMargins m = contentsMargins();
        int widest = 0;
        for (const QString& part : m_split.split(u'\n'))
            widest = std::max(widest, fontMetrics().horizontalAdvance(part));
        hint.setWidth(widest + m.left() + m.right() + 2 * margin() + 1);
        return hint;
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        TextLabel::resizeEvent(event);
        const QString& wanted = width() < oneLineWidth() ? m_split : m_line;
        if (text() != wanted)
            setText(wanted);
    }

private:
    static constexpr QStringView kGap = u" · ";

    int oneLineWidth() const
    {
        const QMargins m = contentsMargins();
        return fontMetrics().horizontalAdvance(m_line) + m.left() + m.right() + 2 * margin() + 1;
    }

    QString m_line;
    QString m_split;
};

TextLabel* fixedLabel(const QString& text, TextStyle textStyle, Tone tone, int width, bool digits, Qt::Alignment align)
{
    auto* label = new TextLabel({}, textStyle, TextColor::of(tone));
    if (digits)
        label->setTextStyle(textStyle, QFont::Normal, true);
    label->setFixedWidth(width);
    label->setAlignment(align | Qt::AlignVCenter);
    label->setText(QFontMetrics(label->font()).elidedText(text, Qt::ElideRight, width));
    if (label->text() != text)
        label->setToolTip(text);
    return label;
}

/// Assistive tools see the card as the button it is: "Press" expands or collapses it.
class LocalUsageCardAccessible : public QAccessibleWidget
{
public:
    explicit LocalUsageCardAccessible(LocalUsageCard* card) : QAccessibleWidget(card, QAccessible::Button) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = static_cast<LocalUsageCard*>(widget())->isExpanded();
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Q_EMIT static_cast<LocalUsageCard*>(widget())->toggleRequested();
    }
};

QAccessibleInterface* accessibleCard(const QString& className, QObject* object)
{
    if (className == u"tallyvue::LocalUsageCard" && object && object->isWidgetType())
        return new LocalUsageCardAccessible(static_cast<LocalUsageCard*>(object));
    return nullptr;
}

} // namespace

QString noSessionsText(AIProvider provider)
{
    if (provider == AIProvider::ChatGPT)
        return u"No Codex sessions found in "_s + transcriptFolderText(AIProvider::ChatGPT) + u'.';
    return u"No Claude Code sessions found in "_s + transcriptFolderText(AIProvider::Claude) + u'.';
}

ShareBar::ShareBar(double fraction, QWidget* parent) : QWidget(parent), m_fraction(fraction)
{
    setFixedHeight(6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ShareBar::setFraction(double fraction)
{
    m_fraction = fraction;
    update();
}

qreal ShareBar::filledWidth() const
{
    const double fraction = std::clamp(m_fraction, 0.0, 1.0);
    return std::min<qreal>(width(), std::max<qreal>(2.0, width() * fraction));
}

void ShareBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF track(rect());
    const qreal radius = track.height() / 2;
    painter.setBrush(style::textColor(Tone::Quaternary, palette()));
    painter.drawRoundedRect(track, radius, radius);
    const QColor accent = style::accentColor(style::Accent::Blue, palette());
    QLinearGradient gradient(0, 0, std::max<qreal>(filledWidth(), 1), 0);
    gradient.setColorAt(0, accent.lighter(130));
    gradient.setColorAt(1, accent);
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(0, 0, filledWidth(), track.height()), radius, radius);
}

LocalUsageCard::LocalUsageCard(AIProvider provider, bool expanded, QWidget* parent)
    : Card(8, parent), m_provider(provider), m_expanded(expanded),
      m_name(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Tertiary)))
{
    setObjectName(u"localUsageCard"_s);
    static const bool accessible = (QAccessible::installFactory(accessibleCard), true);
    Q_UNUSED(accessible);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    auto* title = new TextLabel(u"This Computer"_s, TextStyle::Headline);
    title->setObjectName(u"cardTitle"_s);
    m_name->setObjectName(u"computerName"_s);
    body()->addWidget(
        hbox({new SymbolLabel(u"desktopcomputer"_s, symbolSize(TextStyle::Headline), TextColor::of(Tone::Secondary)),
              title, m_name, nullptr},
             6));
    body()->addWidget(new Divider);
    const auto showName = [this] { m_name->setText(ComputerName::instance().name()); };
    connect(&ComputerName::instance(), &ComputerName::changed, this, showName);
    showName();
}

void LocalUsageCard::setState(const UsageState& state)
{
    QList<ProviderMetric> metrics = state.metrics(m_provider);
    // Aggregated again only for a new scan result, a clock minute or other quota windows.
    if (m_built && state.localUsage == m_events && state.now == m_clock && metrics == m_metrics)
        return;
    m_events = state.localUsage;
    m_clock = state.now;
    m_metrics = std::move(metrics);
    static const std::vector<LocalUsageEvent> kNone;
    m_data = LocalUsageCardData::build(m_events ? *m_events : kNone, m_provider, m_metrics, viewNow());
    ++m_aggregations;
    m_built = true;
    rebuild();
}

void LocalUsageCard::setExpanded(bool expanded)
{
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    rebuild();
    QAccessible::State changed;
    changed.expanded = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void LocalUsageCard::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT toggleRequested();
    Card::mouseReleaseEvent(event);
}

void LocalUsageCard::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT toggleRequested();
        return;
    }
    Card::keyPressEvent(event);
}

QWidget* LocalUsageCard::shareSection(const QString& title, const std::vector<LocalUsageShare>& shares,
                                      std::size_t limit)
{
    auto* section = new QWidget;
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    auto* heading = new TextLabel(title, TextStyle::Caption, TextColor::of(Tone::Secondary));
    heading->setObjectName(u"sectionTitle"_s);
    column->addWidget(heading);
    const int nameWidth = m_expanded ? 160 : 90;
    for (std::size_t i = 0; i < shares.size() && i < limit; ++i) {
        const LocalUsageShare& share = shares[i];
        auto* line = new QWidget;
        line->setObjectName(u"share"_s);
        auto* row = new QHBoxLayout(line);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        auto* name = fixedLabel(share.name, TextStyle::Caption, Tone::Primary, nameWidth, false, Qt::AlignLeft);
        name->setObjectName(u"shareName"_s);
        auto* percent =
            fixedLabel(sharePercentText(share.fraction), TextStyle::Caption, Tone::Primary, 34, true, Qt::AlignRight);
        percent->setObjectName(u"sharePercent"_s);
        auto* tokens = fixedLabel(shortTokenCount(share.totals.tokens()), TextStyle::Caption, Tone::Primary, 48, true,
                                  Qt::AlignRight);
        tokens->setObjectName(u"shareTokens"_s);
        row->addWidget(name);
        row->addWidget(new ShareBar(share.fraction), 1, Qt::AlignVCenter);
        row->addWidget(percent);
        row->addWidget(tokens);
        line->setAccessibleName(share.name + u", "_s + sharePercentText(share.fraction) + u", "_s +
                                shortTokenCount(share.totals.tokens()) + u" tokens"_s);
        column->addWidget(line);
    }
    return section;
}

void LocalUsageCard::rebuild()
{
    if (m_content) {
        body()->removeWidget(m_content);
        delete m_content;
    }
    m_content = new QWidget;
    auto* column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    body()->addWidget(m_content);
    const QString tool = m_provider == AIProvider::ChatGPT ? u"Codex"_s : u"Claude Code"_s;

    if (!m_data.hasEvents) {
        auto* none = new TextLabel(noSessionsText(m_provider), TextStyle::Caption, TextColor::of(Tone::Secondary));
        none->setObjectName(u"noSessions"_s);
        none->setWordWrap(true);
        column->addWidget(none);
        setAccessibleName(u"This Computer. "_s + none->text());
        return;
    }

    QStringList spoken;
    for (const LocalUsageWindow& window : m_data.windows) {
        auto* title = new TextLabel(window.title, TextStyle::Subheadline, TextColor::of(Tone::Secondary));
        title->setObjectName(u"windowTitle"_s);
        auto* tokens = new TextLabel(shortTokenCount(window.totals.tokens()) + u" tokens"_s, TextStyle::Subheadline);
        tokens->setTextStyle(TextStyle::Subheadline, QFont::Medium, true);
        tokens->setObjectName(u"windowTokens"_s);
        tokens->setAlignment(Qt::AlignRight);
        auto* detail = new WindowDetailLabel(windowDetailText(window.totals, window.cost), TextStyle::Caption2,
                                             TextColor::of(Tone::Secondary));
        detail->setTextStyle(TextStyle::Caption2, QFont::Normal, true);
        detail->setObjectName(u"windowDetail"_s);
        detail->setAlignment(Qt::AlignRight);
        auto* numbers = new QWidget;
        auto* lines = new QVBoxLayout(numbers);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(0);
        lines->addWidget(tokens);
        lines->addWidget(detail);
        auto* row = new QWidget;
        row->setObjectName(u"window"_s);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->addWidget(title, 0, Qt::AlignVCenter);
        rowLayout->addStretch(1);
        rowLayout->addWidget(numbers);
        row->setAccessibleName(window.title + u", "_s + tokens->text() + u", "_s + detail->line());
        spoken.append(row->accessibleName());
        column->addWidget(row);
    }

    column->addWidget(new Divider);
    column->addWidget(shareSection(
        u"By model (7 days)"_s, m_data.models,
        std::size_t(m_expanded ? LocalUsageCardData::kModelLimitExpanded : LocalUsageCardData::kCollapsedLimit)));
    column->addWidget(new Divider);
    column->addWidget(shareSection(
        u"By project (7 days)"_s, m_data.projects,
        std::size_t(m_expanded ? LocalUsageCardData::kProjectLimitExpanded : LocalUsageCardData::kCollapsedLimit)));

    if (m_expanded) {
        auto* heading = new TextLabel(u"Tokens per day"_s, TextStyle::Caption, TextColor::of(Tone::Secondary));
        heading->setObjectName(u"sectionTitle"_s);
        column->addWidget(heading);
        auto* chart = new StackedBarChart(Qt::Vertical, false);
        chart->setObjectName(u"dayChart"_s);
        chart->setAccessibleName(u"Tokens per day"_s);
        chart->setFixedHeight(140);
        QStringList days;
        BarSeriesData series{u"Tokens"_s, 0, {}, true};
        QStringList dayTexts;
        const QLocale locale = QLocale::system();
        for (const LocalUsageDay& day : m_data.days) {
            days.append(locale.toString(day.day, u"ddd"_s));
            series.values.append(day.totals.tokens());
            dayTexts.append(days.back() + u" "_s + shortTokenCount(day.totals.tokens()));
        }
        chart->setData(days, {series});
        chart->setAccessibleDescription(dayTexts.join(u", "_s));
        column->addWidget(chart);
    }

    auto* note = new TextLabel(u"Token counts from this computer's "_s + tool +
                                   u" transcripts. The account percent above is shared by all your devices."_s,
                               TextStyle::Caption, TextColor::of(Tone::Tertiary));
    note->setObjectName(u"cardNote"_s);
    note->setWordWrap(true);
    column->addWidget(note);
    setAccessibleName(u"This Computer, "_s + tool + u". "_s + spoken.join(u". "_s));
    setAccessibleDescription(m_expanded ? u"Expanded. Press to show less."_s : u"Press to show more."_s);
}

} // namespace tallyvue
