// SPDX-License-Identifier: MIT
// The details window's own actions (export, clear) with their dialogs answered here, its
// sidebar, and the popover's Trends tab and details button.
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "refresh/UsageViewModel.h"
#include "support/Files.h"
#include "support/OutputCapture.h"
#include "support/ViewSupport.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/Widgets.h"
#include "views/details/ComputerPage.h"
#include "views/details/DetailWindowView.h"
#include "views/details/MetricGaugeCard.h"
#include "views/details/Sidebar.h"
#include "views/details/SnapshotTable.h"
#include "views/popover/MenuBarView.h"
#include "views/popover/ProviderCards.h"
#include "views/popover/TrendsView.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);

/// Chooses `page` in the sidebar, as a click on its row does.
void choose(const DetailWindowView& window, const WorkspacePage& page)
{
    QListWidgetItem* row = window.sidebar()->row(page);
    ASSERT_NE(row, nullptr);
    row->listWidget()->setCurrentItem(row);
    QCoreApplication::processEvents();
}

class DetailWindowTest : public test::ViewTest
{
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        HistoryStore::clear();
        HistoryStore::record({{AIProvider::Claude, u"session"_s, u"Say \"hi\""_s, 42.5, {}, 18000.0}},
                             kNow.addSecs(-600));
        HistoryStore::record({{AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 12, {}, {}},
                              {AIProvider::ChatGPT, u"secondary"_s, u"Weekly"_s, 90, {}, {}}},
                             kNow.addSecs(-300));
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override
    {
        ViewTest::TearDown();
        HistoryStore::clear();
    }

    UsageState state() const
    {
        UsageState result;
        result.now = kNow;
        result.history = HistoryStore::load();
        result.allMetrics = {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, {}, {}},
                             {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 90, {}, {}},
                             {AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 12, {}, {}}};
        return result;
    }

    /// Runs the export action and answers the save dialog with `path`, or cancels it.
    void exportTo(DetailWindowView& window, const std::optional<QString>& path)
    {
        window.exportAction()->trigger();
        auto* dialog = test::waitForDialog<QFileDialog>(u"saveDialog"_s);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->selectedFiles().value(0).endsWith(u"/tallyvue-history.csv"_s));
        if (path) {
            dialog->selectFile(*path);
            static_cast<QDialog*>(dialog)->done(QDialog::Accepted); // skips the dialog's own path checks
        } else {
            dialog->reject();
        }
        QCoreApplication::processEvents();
    }

    QTemporaryDir m_dir;
};

} // namespace

// Export writes the store's CSV as chosen, replacing the file; cancelling leaves the file as it
// was; a failed write only logs its line.
TEST_F(DetailWindowTest, ExportThroughSaveDialog)
{
    DetailWindowView window;
    window.setState(state());
    window.show();
    const QString target = m_dir.filePath(u"out.csv"_s);
    test::writeFile(target, "keep me");

    exportTo(window, std::nullopt);
    EXPECT_EQ(test::readFile(target), QByteArray("keep me"));

    exportTo(window, target);
    EXPECT_EQ(test::readFile(target), HistoryStore::exportCSV().value());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{u"out.csv"_s}); // no temporary left

    test::OutputCapture output;
    exportTo(window, m_dir.filePath(u"missing/out.csv"_s));
    const QByteArray log = output.text();
    EXPECT_TRUE(log.startsWith("[Tallyvue] CSV export failed: ")) << log.constData();
    EXPECT_FALSE(QFile::exists(m_dir.filePath(u"missing/out.csv"_s)));
}

// "Clear History…" asks first: cancelling keeps file and history, confirming clears both.
TEST_F(DetailWindowTest, ClearAsksFirst)
{
    UsageViewModel viewModel(UsageViewModel::Options{false, [] { return kNow; }});
    DetailWindowView window;
    QObject::connect(&window, &DetailWindowView::clearHistoryRequested, &viewModel, &UsageViewModel::clearHistory);
    window.setState(state());
    window.show();
    const QByteArray before = test::readFile(HistoryStore::filePath());

    window.clearAction()->trigger();
    auto* box = test::waitForDialog<QMessageBox>(u"confirmClear"_s);
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Cancel)->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(test::readFile(HistoryStore::filePath()), before);
    EXPECT_EQ(viewModel.history().size(), 2);

    window.clearAction()->trigger();
    box = test::waitForDialog<QMessageBox>(u"confirmClear"_s);
    ASSERT_NE(box, nullptr);
    box->findChild<QPushButton*>(u"clearHistory"_s)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(QFile::exists(HistoryStore::filePath()));
    EXPECT_TRUE(viewModel.history().isEmpty());
}

// The sidebar counts limits, picks pages and remembers them; the table follows the page.
TEST_F(DetailWindowTest, SidebarPagesAndSnapshotCount)
{
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Remaining);
    DetailWindowView window;
    window.setState(state());
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.sidebar()->caption(AIProvider::Claude), u"2 limits"_s);
    EXPECT_EQ(window.sidebar()->caption(AIProvider::ChatGPT), u"1 limit"_s);
    EXPECT_EQ(window.sidebar()->caption(AIProvider::Copilot), u"Not connected"_s);
    EXPECT_EQ(window.sidebar()->row(WorkspacePage{AIProvider::Claude})->data(Qt::AccessibleTextRole).toString(),
              u"Claude, 2 limits, 10%"_s);
    EXPECT_EQ(window.page(), WorkspacePage{AIProvider::Claude});
    // In remaining mode a window at 90 % used shows 10 %, coloured as 90 % used.
    const QColor red = style::usageColor(90, QApplication::palette());
    const auto gauges = window.findChildren<MetricGaugeCard*>();
    ASSERT_EQ(gauges.size(), 2);
    EXPECT_EQ(gauges[1]->gauge()->text(), u"10%"_s);
    EXPECT_DOUBLE_EQ(gauges[1]->gauge()->targetFraction(), 0.1);
    EXPECT_EQ(gauges[1]->gauge()->arcColor(), red);
    EXPECT_EQ(gauges[1]->accessibleName(), u"Claude, 7-Day, 10 percent remaining"_s);
    // While Claude fails, its gauges are said to be last values.
    UsageState failing = state();
    failing.errorMessage = u"Network error: down"_s;
    failing.lastGood[0] = LastGoodValues{failing.metrics(AIProvider::Claude), kNow.addSecs(-600)};
    window.setState(failing);
    EXPECT_EQ(window.findChild<TextLabel*>(u"notCurrent"_s)->text(),
              u"Network error: down. The gauges show the last values, "_s + asOfText(kNow.addSecs(-600), kNow) + u'.');

    choose(window, WorkspacePage{AIProvider::ChatGPT});
    EXPECT_EQ(Preferences::instance().detailPage(), WorkspacePage{AIProvider::ChatGPT});
    auto* table = window.findChild<SnapshotTable*>();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->countText(), u"1 in range"_s);
    EXPECT_EQ(table->model().index(0, 2).data().toString(), u"10%"_s);
    EXPECT_EQ(table->model().index(0, 2).data(Qt::ForegroundRole).value<QColor>(), red);

    // This Computer has its own page, remembered like the others; its table shows the newest month
    // first, quiet months at zero, and "–" for a month of unpriced requests only.
    choose(window, WorkspacePage{std::nullopt, true});
    EXPECT_EQ(Preferences::instance().detailPage(), (WorkspacePage{std::nullopt, true}));
    // "Providers" is a heading between two lists, which the arrows cross as one list.
    auto* heading = window.findChild<QLabel*>(u"providersHeading"_s);
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(heading)->role(), QAccessible::Heading);
    QTest::keyClick(window.sidebar()->row(WorkspacePage{std::nullopt, true})->listWidget(), Qt::Key_Down);
    EXPECT_EQ(Preferences::instance().detailPage(), WorkspacePage{AIProvider::Claude});
    QTest::keyClick(window.sidebar()->row(WorkspacePage{AIProvider::Claude})->listWidget(), Qt::Key_Up);
    EXPECT_EQ(Preferences::instance().detailPage(), (WorkspacePage{std::nullopt, true}));
    auto* computer = window.findChild<ComputerPage*>();
    ASSERT_NE(computer, nullptr);
    ReportEvents events;
    events.sessions.push_back({u"s"_s, {}, AIProvider::Claude});
    LocalUsageEvent e;
    e.timestamp = kNow.addDays(-40).toMSecsSinceEpoch();
    e.outputTokens = 1500;
    e.model = InternedString(std::string_view("claude-x"));
    events.events.push_back({e, 0});
    computer->setMonth(ComputerMonth::build(events, kNow, QTimeZone::utc()));
    QCoreApplication::processEvents();
    EXPECT_EQ(computer->cellText(2, 1), u"0"_s);
    EXPECT_EQ(computer->cellText(3, 0), u"November 2025"_s);
    EXPECT_EQ(computer->cellText(3, 7), u"–"_s);
    EXPECT_EQ(computer->cellText(7, 0), u"Total"_s);
    EXPECT_EQ(computer->cellText(7, 3), u"1.5K"_s);
}

// The popover's Trends tab shows the trends for a provider with data and the state view without;
// the header's details button asks for the window.
TEST_F(DetailWindowTest, PopoverTrendsTabAndDetailsButton)
{
    Preferences::instance().setSelectedPage(WorkspacePage{AIProvider::Claude});
    Preferences::instance().setSelectedTab(AppTab::Trends);
    MenuBarView view;
    UsageState withData = state();
    withData.usage = UsageResponse{};
    view.setState(withData);
    view.show();
    QCoreApplication::processEvents();
    auto* trends = qobject_cast<TrendsView*>(view.content());
    ASSERT_NE(trends, nullptr);
    UsageHistoryChart* chart = trends->historyChart();
    EXPECT_FALSE(chart->isEmpty());
    // Any point over the plot picks the one Claude snapshot.
    QTest::mouseMove(chart, QPoint(chart->width() / 2, 60));
    EXPECT_TRUE(chart->selectedDate().has_value());
    EXPECT_TRUE(chart->readoutText().endsWith(u"Say \"hi\" 42%"_s)) << chart->readoutText().toStdString();

    view.setState(state());
    QCoreApplication::processEvents();
    EXPECT_EQ(qobject_cast<TrendsView*>(view.content()), nullptr);
    EXPECT_TRUE(view.contentKey().endsWith(u"/loading"_s)) << view.contentKey().toStdString();

    QSignalSpy details(&view, &MenuBarView::detailsRequested);
    auto* button = view.findChild<GlassButton*>(u"details"_s);
    ASSERT_NE(button, nullptr);
    // The way assistive tools press it ("Press" runs animateClick()).
    button->animateClick();
    EXPECT_TRUE(details.wait(5000));
    EXPECT_EQ(details.size(), 1);
}

// The popover and the details window read "Updated … ago" off one clock, on one tick.
TEST_F(DetailWindowTest, UpdatedTextsShareOneClock)
{
    QDateTime now = kNow;
    setViewClock([&now] { return now; });
    Preferences::instance().setDetailPage(WorkspacePage{AIProvider::Claude});
    UsageState updated = state();
    updated.lastUpdated = kNow.addSecs(-19);
    DetailWindowView window;
    MenuBarView popover;
    for (QWidget* shown : {static_cast<QWidget*>(&window), static_cast<QWidget*>(&popover)})
        shown->show();
    window.setState(updated);
    popover.setState(updated);
    QCoreApplication::processEvents();

    now = kNow.addSecs(72);
    ViewClock::instance().tick();
    const auto* text = window.pageWidget()->findChild<TextLabel*>(u"updated"_s);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(popover.updatedText(), u"Updated 1 minute ago");
    EXPECT_EQ(text->text(), popover.updatedText());
}

// At a large scale on a small screen the window keeps to the free area, its close button on it.
TEST(DetailWindowGeometry, FitsTheScreen)
{
    const std::tuple<QRect, QRect, QRect> cases[] = {
        {{0, 0, 960, 660}, {0, 0, 792, 414}, {0, 0, 792, 414}},
        {{100, 100, 960, 660}, {0, 0, 1920, 1040}, {100, 100, 960, 660}},
        {{1500, 900, 960, 660}, {0, 0, 1920, 1040}, {960, 380, 960, 660}},
        {{-50, 0, 300, 200}, {0, 30, 800, 400}, {0, 30, 300, 200}},
    };
    for (const auto& [frame, available, expected] : cases)
        EXPECT_EQ(DetailWindowView::fittedGeometry(frame, available), expected);
}
