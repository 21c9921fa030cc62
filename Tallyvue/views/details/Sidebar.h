// SPDX-License-Identifier: MIT
#pragma once

#include "model/Preferences.h"
#include "views/common/UsageState.h"

#include <QWidget>

class QListWidget;
class QListWidgetItem;

namespace tallyvue {

/**
 * The details window's sidebar: the Overview and This Computer, then a "Providers" heading over one
 * row per provider. The heading stands between two lists rather than inside one, so screen readers
 * read it as a heading and no one can select it. To the keyboard the two lists are one: a single
 * Tab stop (the list of the current page), and the arrows cross from one to the other.
 */
class Sidebar : public QWidget
{
    Q_OBJECT

public:
    explicit Sidebar(QWidget* parent = nullptr);

    /// Shows each provider's limit count and highest percent, and marks `current`.
    void setState(const UsageState& state, const WorkspacePage& current, QuotaDisplayMode mode);
    /// The row of `page`, in whichever list holds it.
    QListWidgetItem* row(const WorkspacePage& page) const;
    /// The caption under a provider's name ("2 limits", "Not connected").
    QString caption(AIProvider provider) const;
    /// Gives keyboard focus to the current page's row.
    void focusCurrent();

Q_SIGNALS:
    void pageChosen(const WorkspacePage& page);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* addList(const QString& name);
    void addRow(QListWidget* list, const WorkspacePage& page);
    void select(QListWidgetItem* item);

    QListWidget* m_pages;
    QListWidget* m_providers;
};

} // namespace tallyvue
