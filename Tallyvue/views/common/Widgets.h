// SPDX-License-Identifier: MIT
#pragma once

#include "views/common/Style.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QFrame>
#include <QLabel>
#include <QScrollArea>

#include <functional>
#include <optional>

class QVBoxLayout;

namespace tallyvue {

/// Gives a plain widget (a card, a row) an accessible role and name, so that screen readers
/// read it as one named group instead of an anonymous filler.
void setAccessibleGroup(QWidget* widget, QAccessible::Role role, const QString& name);

/// The colour a piece of text takes: a tone of the palette's text colour, or a fixed rule.
struct TextColor
{
    std::optional<style::Tone> tone = style::Tone::Primary;
    std::function<QColor(const QPalette&)> rule; ///< used when `tone` is empty

    static TextColor of(style::Tone tone) { return {tone, {}}; }
    static TextColor accent(style::Accent accent);
    static TextColor usage(double usedPercent);
    static TextColor caption(CaptionTone tone);
    QColor resolve(const QPalette& palette) const;
};

/// A label in one of the text styles whose colour follows the palette (light, dark, changes).
class TextLabel : public QLabel
{
    Q_OBJECT

public:
    TextLabel(const QString& text, style::TextStyle textStyle, TextColor color = {}, QWidget* parent = nullptr);

    void setTextColor(TextColor color);
    /// The colour it draws with now.
    QColor textColor() const;
    void setTextStyle(style::TextStyle textStyle, QFont::Weight weight = QFont::Normal, bool monospacedDigits = false);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColor();
    TextColor m_color;
    bool m_applying = false;
};

/// A symbol drawn in one colour at a text style's size.
class SymbolLabel : public QLabel
{
    Q_OBJECT

public:
    SymbolLabel(const QString& name, int logicalSize, TextColor color = {}, QWidget* parent = nullptr);

    QString symbolName() const { return m_name; }
    void setSymbol(const QString& name, TextColor color);
    QColor symbolColor() const { return m_color.resolve(palette()); }

protected:
    void changeEvent(QEvent* event) override;

private:
    void render();
    QString m_name;
    int m_size;
    TextColor m_color;
};

/// A provider's logo in a square of the given side.
class ProviderLogo : public QLabel
{
    Q_OBJECT

public:
    ProviderLogo(AIProvider provider, int side, QWidget* parent = nullptr);
    AIProvider provider() const { return m_provider; }

protected:
    void changeEvent(QEvent* event) override;

private:
    AIProvider m_provider;
    int m_side;
};

/// The rounded translucent card every provider view sits on (inner margin 12).
class Card : public QFrame
{
    Q_OBJECT

public:
    explicit Card(int spacing, QWidget* parent = nullptr);
    QVBoxLayout* body() const { return m_body; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_body;
};

/// A hairline between sections.
class Divider : public QWidget
{
    Q_OBJECT

public:
    explicit Divider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

/// A rounded, softly filled button (the header's icon buttons, "Quit", "Retry").
class GlassButton : public QAbstractButton
{
    Q_OBJECT

public:
    GlassButton(const QString& symbolName, const QString& text, QWidget* parent = nullptr);

    /// The prominent style fills the button with the accent colour.
    void setProminent(bool prominent);
    /// Turns the symbol continuously (one turn per second) while on.
    void setSpinning(bool spinning);
    bool isSpinning() const { return m_spinning; }
    QString symbolName() const { return m_symbol; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    /// Return and Enter press it as Space does, as with any button on the desktop.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_symbol;
    bool m_keyboardFocus = false;
    bool m_prominent = false;
    bool m_hovered = false;
    bool m_spinning = false;
    int m_spinTimer = 0;
    qint64 m_spinStart = 0;
    qreal m_angle = 0;
};

/// A scroll area that assistive tools can read safely while its scroll bars come and go (the
/// popover closing hides them between a client's counting of the children and its asking for one).
class ScrollArea : public QScrollArea
{
    Q_OBJECT

public:
    explicit ScrollArea(QWidget* parent = nullptr);
};

/// Lays `widgets` out in a row with `spacing`; nulls become stretch.
QWidget* hbox(std::initializer_list<QWidget*> widgets, int spacing, QWidget* parent = nullptr);

} // namespace tallyvue
