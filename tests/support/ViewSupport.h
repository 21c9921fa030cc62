// SPDX-License-Identifier: MIT
// For the view tests: a fixture with the views' clock pinned, what labels say, dialogs to answer.
#pragma once

#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "views/common/UsageState.h"
#include "views/common/Widgets.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace tallyvue::test {

/// Pins the views' clock to `now` and forgets the pages and display mode earlier tests chose.
class ViewTest : public ::testing::Test
{
protected:
    explicit ViewTest(QDateTime now = *parseTimestamp(QStringLiteral("2026-01-05T12:00:00Z"))) : m_now(std::move(now))
    {
    }
    void SetUp() override
    {
        setViewClock([this] { return m_now; });
        for (const char* key : {"detailPage", "selectedPage", "selectedTab", "quotaDisplayMode"})
            Preferences::instance().remove(QString::fromLatin1(key));
    }
    void TearDown() override { setViewClock({}); }

private:
    QDateTime m_now;
};

inline TextLabel* label(const QWidget& widget, const QString& name)
{
    return widget.findChild<TextLabel*>(name);
}

/// The first label's text, "<none>" without one.
inline QString text(const QWidget& widget, const QString& name)
{
    const TextLabel* found = label(widget, name);
    return found ? found->text() : QStringLiteral("<none>");
}

/// The texts of all labels named `name`, or the full names behind them where they may be elided.
inline QStringList texts(const QWidget& widget, const QString& name, bool toolTips = false)
{
    QStringList result;
    for (const TextLabel* found : widget.findChildren<TextLabel*>(name))
        result.append(toolTips ? found->toolTip() : found->text());
    return result;
}

/// The shown top-level dialog called `name`, waited for up to five seconds.
template<typename T>
T* waitForDialog(const QString& name)
{
    for (int i = 0; i < 500; ++i) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->objectName() == name && dialog->isVisible())
                return dialog;
        }
        QTest::qWait(10);
    }
    return nullptr;
}

} // namespace tallyvue::test
