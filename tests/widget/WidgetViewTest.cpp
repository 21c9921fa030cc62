// SPDX-License-Identifier: MIT
#include "logic/WidgetContent.h"
#include "ui/MediumUsageView.h"
#include "ui/SmallUsageView.h"
#include "ui/UsageWidgetView.h"
#include "ui/WidgetStyle.h"

#include <QApplication>
#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 1, 5), QTime(12, 0), Qt::UTC);

/// Pictures for review; the assertions are on what the views decide, not on pixels (what they
/// show is WidgetContent's, tested with the logic).
class WidgetViewTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        QApplication::setFont(QFont(u"DejaVu Sans"_s, 10));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QDir().mkpath(QStringLiteral(TALLYVUE_WIDGET_RENDERS));
    }

    /// Renders `entry` in both appearances at 2x into the build folder; returns the light view for inspection.
    static std::unique_ptr<UsageWidgetView> show(const char* name, WidgetFamily family, const UsageEntry& entry)
    {
        std::unique_ptr<UsageWidgetView> view;
        for (const Appearance appearance : {Appearance::Dark, Appearance::Light}) {
            view = std::make_unique<UsageWidgetView>(family);
            view->setPalette(widgetPalette(appearance));
            view->resize(familySize(family));
            view->setEntry(entry);
            const QString file = QStringLiteral(TALLYVUE_WIDGET_RENDERS) % u'/' % rawValue(family) % u'-' %
                                 QString::fromLatin1(name) %
                                 (appearance == Appearance::Dark ? u"-dark.png"_s : u"-light.png"_s);
            const QImage image = view->renderImage(2);
            EXPECT_EQ(image.size(), familySize(family) * 2);
            EXPECT_TRUE(image.save(file)) << file.toStdString();
        }
        return view;
    }
};

} // namespace

// Each scene in both families: the family's own view, or the invitation to open the application
// when there is no snapshot or one without metrics.
TEST_F(WidgetViewTest, Scenes)
{
    const WidgetSnapshot remaining{
        kNow.addSecs(-120),
        {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 90, kNow.addSecs(3000), std::nullopt},
         {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 35, kNow.addSecs(400000), std::nullopt}},
        std::nullopt,
        QuotaDisplayMode::Remaining};
    const std::tuple<const char*, UsageEntry, bool> scenes[] = {
        {"sample", {sampleSnapshot().timestamp, sampleSnapshot()}, false},
        {"remaining-90", {kNow, remaining}, false},
        {"empty", {kNow, std::nullopt}, true},
        {"no-metrics", {kNow, WidgetSnapshot{kNow, {}, std::nullopt, QuotaDisplayMode::Used}}, true},
    };
    for (const auto& [name, entry, empty] : scenes) {
        for (const auto family : {WidgetFamily::Small, WidgetFamily::Medium}) {
            SCOPED_TRACE(std::string(name) + ' ' + rawValue(family).toStdString());
            const auto view = show(name, family, entry);
            EXPECT_EQ(view->showsEmptyState(), empty);
            EXPECT_EQ(view->smallView()->isVisibleTo(view.get()), !empty && family == WidgetFamily::Small);
            EXPECT_EQ(view->mediumView()->isVisibleTo(view.get()), !empty && family == WidgetFamily::Medium);
        }
    }
    // In remaining mode a window at 90 % used shows 10 % left, red, with a sliver of ring when nothing is left.
    const auto left = smallContent(remaining, kNow, QLocale());
    ASSERT_TRUE(left);
    EXPECT_EQ(std::pair(left->percentText, left->color), std::pair(u"10%"_s, UsageColor::Red));
    EXPECT_NEAR(ringFraction(100, QuotaDisplayMode::Remaining), 0.01, 1e-9);
}
