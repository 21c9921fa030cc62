// SPDX-License-Identifier: MIT
#include "views/charts/RangePicker.h"

#include "views/common/Style.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace tallyvue {

namespace {

/// "7d" read aloud: "7 days" ("24h": "24 hours").
QString spokenText(const QString& shortText)
{
    const QString count = shortText.chopped(1);
    if (shortText.endsWith(u'd'))
        return count + (count == u"1" ? u" day"_s : u" days"_s);
    if (shortText.endsWith(u'h'))
        return count + (count == u"1" ? u" hour"_s : u" hours"_s);
    return shortText;
}

/// One segment: its label, bold and on a raised fill while chosen.
class Segment : public QAbstractButton
{
public:
    explicit Segment(const QString& text, QWidget* parent = nullptr) : QAbstractButton(parent)
    {
        setText(text);
        setAccessibleName(spokenText(text));
        setCheckable(true);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setFont(style::font(style::TextStyle::Subheadline));
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override
    {
        QFont bold = font();
        bold.setWeight(QFont::DemiBold);
        return {QFontMetrics(bold).horizontalAdvance(text()) + 20, 24};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isChecked()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(style::isDark(palette()) ? QColor(255, 255, 255, 46) : QColor(255, 255, 255, 235));
            painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
        }
        if (hasFocus())
            style::paintFocusRing(painter, QRectF(rect()), 6, palette());
        QFont f = font();
        f.setWeight(isChecked() ? QFont::DemiBold : QFont::Normal);
        painter.setFont(f);
        painter.setPen(style::textColor(isChecked() ? style::Tone::Primary : style::Tone::Secondary, palette()));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
};

} // namespace

RangePicker::RangePicker(QWidget* parent) : QWidget(parent), m_group(new QButtonGroup(this))
{
    setAccessibleName(u"Range"_s);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    m_group->setExclusive(true);
    for (TrendRange range : kAllTrendRanges) {
        auto* segment = new Segment(rawValue(range));
        m_group->addButton(segment, int(range));
        layout->addWidget(segment);
        // Acting on toggled, not clicked, lets assistive tools pick a range too.
        connect(segment, &QAbstractButton::toggled, this, [this, range](bool on) {
            if (!on || range == m_range)
                return;
            m_range = range;
            update();
            Q_EMIT rangeChanged(range);
        });
    }
    m_group->button(int(m_range))->setChecked(true);
}

void RangePicker::setRange(TrendRange range)
{
    if (auto* button = m_group->button(int(range)))
        button->setChecked(true);
}

void RangePicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(style::controlFill(palette(), false, false));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

} // namespace tallyvue
