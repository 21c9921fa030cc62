// SPDX-License-Identifier: MIT
#pragma once

#include "logic/UsageTimeline.h"
#include "logic/WidgetConfiguration.h"

#include <QWidget>

namespace tallyvue::widget {

class MediumUsageView;
class SmallUsageView;

/// One timeline entry in the widget's card: the family's view, or the empty state when there is no data.
class UsageWidgetView : public QWidget
{
    Q_OBJECT

public:
    explicit UsageWidgetView(WidgetFamily family, QWidget* parent = nullptr);

    WidgetFamily family() const { return m_family; }
    void setFamily(WidgetFamily family);
    void setEntry(const UsageEntry& entry);

    bool showsEmptyState() const;
    const SmallUsageView* smallView() const { return m_small; }
    const MediumUsageView* mediumView() const { return m_medium; }

    QSize sizeHint() const override;
    /// The card drawn at `scale` device pixels per logical pixel, with transparent corners.
    QImage renderImage(double scale);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    WidgetFamily m_family;
    UsageEntry m_entry;
    SmallUsageView* m_small;
    MediumUsageView* m_medium;
};

} // namespace tallyvue::widget
