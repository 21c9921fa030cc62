// SPDX-License-Identifier: MIT
// The popover's navigation, and what it shows for each provider's state.
#include "support/ViewSupport.h"
#include "views/common/Widgets.h"
#include "views/popover/MenuBarView.h"
#include "views/popover/ProviderCards.h"
#include "views/popover/SelectorBar.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);

class PopoverTest : public test::ViewTest
{
protected:
    /// Opens the view on a page with a state, as the user would see it.
    void open(MenuBarView& view, WorkspacePage page, const UsageState& state)
    {
        Preferences::instance().setSelectedPage(page);
        view.setState(state);
        view.show();
        QCoreApplication::processEvents();
    }
};

UsageResponse claudeResponse()
{
    UsageResponse usage;
    usage.fiveHour = UsageWindow{42, std::nullopt};
    return usage;
}

} // namespace

TEST_F(PopoverTest, LoadingErrorAndMessages)
{
    Preferences::instance().setValue(u"selectedPage"_s, u"nonsense"_s);
    MenuBarView view;
    EXPECT_EQ(view.page(), WorkspacePage{AIProvider::Claude}); // an unknown stored page reads as Claude
    open(view, {AIProvider::Copilot}, UsageState{});
    EXPECT_EQ(view.contentKey(), u"Copilot/Models/loading");
    EXPECT_EQ(test::text(*view.content(), u"loading"_s), u"Loading usage data...");
    EXPECT_TRUE(view.updatedText().isEmpty()); // no "Updated" before the first success

    UsageState failed;
    failed.errorMessage = u"No token"_s;
    failed.codexError = u"Expired"_s;
    failed.copilotError = u"Not signed in"_s;
    view.setState(failed);
    EXPECT_EQ(test::text(*view.content(), u"title"_s), u"Copilot unavailable");
    EXPECT_EQ(test::text(*view.content(), u"message"_s), u"Not signed in");
    Preferences::instance().setSelectedPage({AIProvider::ChatGPT});
    EXPECT_EQ(test::text(*view.content(), u"title"_s), u"ChatGPT unavailable");

    // Claude's error offers "Retry", which refreshes without force; the header always forces.
    Preferences::instance().setSelectedPage({AIProvider::Claude});
    EXPECT_EQ(test::text(*view.content(), u"title"_s), u"Unable to load data");
    EXPECT_EQ(test::text(*view.content(), u"message"_s), u"No token");
    QSignalSpy refreshes(&view, &MenuBarView::refreshRequested);
    QTest::mouseClick(view.content()->findChild<GlassButton*>(u"retry"_s), Qt::LeftButton);
    QTest::mouseClick(view.refreshButton(), Qt::LeftButton);
    ASSERT_EQ(refreshes.size(), 2);
    EXPECT_EQ(refreshes[0][0].toBool(), false);
    EXPECT_EQ(refreshes[1][0].toBool(), true);

    // Earlier data does not hide the error: it stays under it, dimmed, with its time. A rate
    // limit says when the next try is, and offers no "Retry" that would only be refused.
    failed.usage = claudeResponse();
    failed.lastUpdated = kNow.addSecs(-120);
    failed.lastGood[0] = LastGoodValues{
        {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, std::nullopt, std::nullopt}}, kNow.addSecs(-120)};
    failed.notices[0] = ProviderNotice{ProviderNotice::Kind::RateLimited, u"Next try soon."_s, kNow.addSecs(600)};
    failed.isLoading = true;
    view.setState(failed);
    EXPECT_EQ(view.contentKey(), u"Claude/Models/error");
    EXPECT_EQ(test::text(*view.content(), u"headline"_s), u"Next try soon.");
    EXPECT_EQ(test::text(*view.content(), u"message"_s), u"No token");
    EXPECT_FALSE(view.content()->findChild<GlassButton*>(u"retry"_s)->isVisibleTo(view.content()));
    EXPECT_TRUE(view.content()->findChild<QWidget*>(u"lastGood"_s)->isVisibleTo(view.content()));
    EXPECT_EQ(test::text(*view.content(), u"asOf"_s), u"Last values, "_s + asOfText(kNow.addSecs(-120), kNow));
    // A missing sign-in is a hint, not an alarm.
    failed.notices[2] = ProviderNotice{ProviderNotice::Kind::NotSignedIn, u"Sign in."_s, std::nullopt};
    view.setState(failed);
    Preferences::instance().setSelectedPage({AIProvider::Copilot});
    const auto* icon = view.content()->findChild<SymbolLabel*>(u"icon"_s);
    EXPECT_EQ(icon->symbolColor(), TextColor::of(style::Tone::Secondary).resolve(icon->palette()));

    Preferences::instance().setSelectedPage({AIProvider::Claude});
    failed.errorMessage.reset();
    view.setState(failed);
    EXPECT_EQ(view.contentKey(), u"Claude/Models/card");
    EXPECT_TRUE(qobject_cast<UsageCardView*>(view.content()));
    EXPECT_EQ(view.updatedText(), u"Updated 2 minutes ago");
    EXPECT_TRUE(view.refreshButton()->isSpinning());
}

// Four tabs with their labels are wider than the popover with a large system font: each tab
// must still draw within its own width (dropping its symbol, then eliding) instead of clipping.
TEST_F(PopoverTest, TabsDrawWithinTheirWidth)
{
    const QFont original = QApplication::font();
    QFont large = original;
    large.setPointSizeF(original.pointSizeF() * 1.4);
    QApplication::setFont(large);
    {
        MenuBarView view;
        view.setFixedSize(MenuBarView::kSize); // as the popover holds it
        UsageState state;
        state.usage = claudeResponse();
        open(view, WorkspacePage{AIProvider::Claude}, state);
        SelectorBar* bar = view.tabBar();
        ASSERT_TRUE(view.isTabBarShown());
        for (AppTab tab : availableTabs()) {
            const SelectorButton* button = bar->button(rawValue(tab));
            ASSERT_NE(button, nullptr);
            // What it draws fits in it: symbol and text, or the text alone, elided if need be.
            const SelectorButton::Content shown = button->shownContent();
            QFont font = button->font();
            font.setWeight(button->isChecked() ? QFont::DemiBold : QFont::Normal);
            const int drawn = (shown.icon ? 20 : 0) + QFontMetrics(font).horizontalAdvance(shown.text);
            EXPECT_LE(drawn, button->width()) << rawValue(tab).toStdString();
            EXPECT_FALSE(shown.text.isEmpty());
        }
    }
    QApplication::setFont(original);
}
