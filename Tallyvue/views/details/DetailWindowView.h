// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Trends.h"
#include "model/Preferences.h"
#include "views/common/UsageState.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QScrollArea;
class QToolButton;

namespace tallyvue {

class Sidebar;
class TextLabel;

/**
 * The details window "Tallyvue Details": a sidebar with the overview, This Computer and the three
 * providers and, for the chosen page, gauges, the history and daily charts and the snapshot table. Its
 * toolbar refreshes, exports the history as CSV and clears it. One instance lives for the
 * process: closing only hides it, so reopening is instant. It draws only while shown.
 */
class DetailWindowView : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr QSize kMinimumSize{820, 560};
    static constexpr QSize kDefaultSize{960, 660};

    explicit DetailWindowView(QWidget* parent = nullptr);

    void setState(const UsageState& state);
    const UsageState& state() const { return m_state; }
    WorkspacePage page() const { return m_page; }
    /// Shows the window (or brings it forward) and activates it, fitted to its screen.
    void present();
    /// Where a window at `frame` goes on a screen whose free area is `available`: as large as
    /// it was, but no larger than that area (the title bar and borders included), and inside it.
    static QRect fittedGeometry(const QRect& frame, const QRect& available);

    QAction* refreshAction() const { return m_refresh; }
    QAction* exportAction() const { return m_export; }
    QAction* clearAction() const { return m_clear; }
    Sidebar* sidebar() const { return m_sidebar; }
    QWidget* pageWidget() const { return m_content; }

    /// Writes the history's CSV export to `path` as UTF-8, atomically; logs a failure.
    static bool writeHistoryCsv(const QString& path);

Q_SIGNALS:
    void refreshRequested(bool force);
    /// The user confirmed "Clear History".
    void clearHistoryRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void readPage();
    void render();
    void exportHistory();
    void confirmClear();
    void restyleToolbar();

    UsageState m_state;
    WorkspacePage m_page;
    TrendRange m_range = TrendRange::Day;
    bool m_dirty = true;
    Sidebar* m_sidebar;
    QScrollArea* m_scroll;
    QPointer<QWidget> m_content;
    QString m_contentKey;
    QLabel* m_title;
    QAction* m_refresh;
    QAction* m_export;
    QAction* m_clear;
    QToolButton* m_historyButton = nullptr;
};

} // namespace tallyvue
