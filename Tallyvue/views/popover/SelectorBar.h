// SPDX-License-Identifier: MIT
#pragma once

#include "model/AIProvider.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QList>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

namespace tallyvue {

struct SelectorItem
{
    QString key;
    QString text;                   ///< empty for a symbol-only button
    std::optional<AIProvider> logo; ///< a provider logo before the text
    QString symbol;                 ///< or a symbol
    QString toolTip;
    bool expands = true; ///< shares the spare width with the others
};

/// One button of a selector: logo or symbol, then its text, semibold while selected.
class SelectorButton : public QAbstractButton
{
    Q_OBJECT

public:
    SelectorButton(SelectorItem item, QWidget* parent = nullptr);
    const SelectorItem& item() const { return m_item; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    /// What the button draws at its present width: the symbol only when the text fits beside it.
    struct Content
    {
        bool icon = true;
        QString text;
    };
    Content shownContent() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    Content content(const QFontMetrics& metrics) const;
    SelectorItem m_item;
    bool m_keyboardFocus = false;
};

/// A row of buttons in a soft pill; the highlight behind the selected one glides to the next.
class SelectorBar : public QWidget
{
    Q_OBJECT

public:
    SelectorBar(const QList<SelectorItem>& items, int spacing, int animationMs, QWidget* parent = nullptr);

    void setCurrent(const QString& key);
    QString current() const { return m_current; }
    SelectorButton* button(const QString& key) const;
    QRectF highlight() const { return m_highlight; }

Q_SIGNALS:
    void activated(const QString& key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRectF targetRect() const;
    /// Only the selected button is a Tab stop; arrows, Home and End move between the others.
    void updateTabStop();
    QList<SelectorButton*> m_buttons;
    QString m_current;
    QRectF m_highlight;
    QVariantAnimation m_animation;
    bool m_settingCurrent = false;
};

} // namespace tallyvue
