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

struct Scene
{
    const char* name;
    WidgetFamily family;
    UsageEntry entry;
};

WidgetSnapshot snapshotOf(QList<ProviderMetric> metrics, QuotaDisplayMode mode = QuotaDisplayMode::Used)
{
    return {kNow.addSecs(-120), std::move(metrics), std::nullopt, mode};
}

ProviderMetric claude(const char* kind, const char* title, double percent, std::optional<qint64> resetIn)
{
    return {AIProvider::Claude,
            QString::fromLatin1(kind),
            QString::fromLatin1(title),
            percent,
            resetIn ? std::optional(kNow.addSecs(*resetIn)) : std::nullopt,
            std::nullopt};
}

/// Pictures for review; the assertions below are on what the views decide, not on pixels.
class WidgetViewTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        QApplication::setFont(QFont(u"DejaVu Sans"_s, 10));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QDir().mkpath(QStringLiteral(TALLYVUE_WIDGET_RENDERS));
    }

    /// Renders `scene` in both appearances at 2x into the build folder; returns the light view for inspection.
    static std::unique_ptr<UsageWidgetView> show(const Scene& scene)
    {
        std::unique_ptr<UsageWidgetView> view;
        for (const Appearance appearance : {Appearance::Dark, Appearance::Light}) {
            view = std::make_unique<UsageWidgetView>(scene.family);
            view->setPalette(widgetPalette(appearance));
            view->resize(familySize(scene.family));
            view->setEntry(scene.entry);
            const QString file = QStringLiteral(TALLYVUE_WIDGET_RENDERS) % u'/' % rawValue(scene.family) % u'-' %
                                 QString::fromLatin1(scene.name) %
                                 (appearance == Appearance::Dark ? u"-dark.png"_s : u"-light.png"_s);
            const QImage image = view->renderImage(2);
            EXPECT_EQ(image.size(), familySize(scene.family) * 2);
            EXPECT_TRUE(image.save(file)) << file.toStdString();
        }
        return view;
    }
};

QStringList rowTexts(const MediumContent& content)
{
    QStringList texts;
    for (const MediumRow& row : content.rows)
        texts << row.letter + u' ' + row.title + u' ' + row.percentText + u' ' + row.resetText.value_or(u"-"_s);
    return texts;
}

} // namespace

// The gallery sample in both families.
TEST_F(WidgetViewTest, Sample)
{
    const UsageEntry entry{sampleSnapshot().timestamp, sampleSnapshot()};
    const auto small = show({"sample", WidgetFamily::Small, entry});
    ASSERT_FALSE(small->showsEmptyState());
    ASSERT_TRUE(small->smallView()->isVisibleTo(small.get()));
    const auto& content = small->smallView()->content();
    ASSERT_TRUE(content);
    EXPECT_EQ(content->percentText, u"42%"_s);
    EXPECT_EQ(content->caption, u"Claude \u00B7 5-Hour"_s);
    EXPECT_EQ(content->resetText, u"Resets in 2h"_s);
    EXPECT_EQ(content->color, UsageColor::Green);

    const auto medium = show({"sample", WidgetFamily::Medium, entry});
    ASSERT_TRUE(medium->mediumView()->isVisibleTo(medium.get()));
    EXPECT_FALSE(medium->smallView()->isVisibleTo(medium.get()));
    const MediumContent& rows = medium->mediumView()->content();
    EXPECT_EQ(rows.updatedText, u"Updated now"_s);
    const QString inThreeDays = monthDayText(entry.date.addSecs(259200));
    EXPECT_EQ(rowTexts(rows), (QStringList{u"C 5-Hour 42% 2h"_s, u"C 7-Day 18% "_s + inThreeDays,
                                           u"G 5-Hour 63% 1h 30m"_s, u"P Premium 7% -"_s}));
    EXPECT_EQ(rows.rows[2].color, UsageColor::Yellow);
}

// No snapshot, or one without metrics: the invitation to open the application, in both families.
TEST_F(WidgetViewTest, EmptyState)
{
    for (const auto family : {WidgetFamily::Small, WidgetFamily::Medium}) {
        const auto view = show({"empty", family, {kNow, std::nullopt}});
        EXPECT_TRUE(view->showsEmptyState());
        EXPECT_FALSE(view->smallView()->isVisibleTo(view.get()));
        EXPECT_FALSE(view->mediumView()->isVisibleTo(view.get()));
        EXPECT_TRUE(show({"no-metrics", family, {kNow, snapshotOf({})}})->showsEmptyState());
    }
}

// Remaining mode at 90 % used: 10% left, red in both views and in both appearances.
TEST_F(WidgetViewTest, RemainingAtNinetyPercent)
{
    const WidgetSnapshot snapshot =
        snapshotOf({claude("session", "5-Hour", 90, 3000), claude("weekly_all", "7-Day", 35, 400000)},
                   QuotaDisplayMode::Remaining);
    const auto small = show({"remaining-90", WidgetFamily::Small, {kNow, snapshot}});
    const auto& content = small->smallView()->content();
    ASSERT_TRUE(content);
    EXPECT_EQ(content->percentText, u"10%"_s);
    EXPECT_EQ(content->color, UsageColor::Red);
    EXPECT_NEAR(content->ringFraction, 0.1, 1e-9);
    EXPECT_EQ(WidgetStyle::of(small.get()).usage(content->color), QColor(0xD7, 0x00, 0x15));

    const auto medium = show({"remaining-90", WidgetFamily::Medium, {kNow, snapshot}});
    EXPECT_EQ(rowTexts(medium->mediumView()->content()), (QStringList{u"C 5-Hour 10% 50m"_s, u"C 7-Day 65% Jan 10"_s}));
    EXPECT_EQ(medium->mediumView()->content().rows[1].color, UsageColor::Green);
    medium->setPalette(widgetPalette(Appearance::Dark));
    EXPECT_EQ(WidgetStyle::of(medium->mediumView()).usage(UsageColor::Red), QColor(0xFF, 0x69, 0x61));
}
