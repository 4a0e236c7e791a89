// The Production window over a recorded history: its figures are the report's, the runs
// export as CSV, and a history that is not ours is named, never touched.
#include "ui/ProductionWindow.h"

#include <QComboBox>
#include <QDateEdit>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>

#include <gtest/gtest.h>

#include "records/ProductionSample.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/UiTestSupport.h"

TEST(ProductionWindow, ShowsTheReportsFiguresExportsRunsAndNamesAForeignFile)
{
    ui_test::ensureApplication();
    TempFolder folder;
    const std::string path = folder.file("hoopwatch-history.sqlite");
    const std::int64_t now = wallClockMillis();
    const std::int64_t from = localDayStart(now, -1); // yesterday's runs too
    {
        RecordsDatabase db;
        ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadWrite), RecordsFault::None);
        ProductionRecorder recorder([&](std::vector<EventRow> e, std::vector<RunRow> r) {
            ASSERT_TRUE(db.append(e, r));
        });
        feedProductionSample(recorder, {2, "127.0.0.", from, std::max(now - 1, from + 1), 3});
    }
    ProductionWindow window(nullptr, path, *parseShifts("08:00-20:00,20:00-08:00"));
    window.setLanguage(2);
    window.setRange(ProductionWindow::Range::Today);
    EXPECT_TRUE(window.problem().isEmpty()) << window.problem().toStdString();

    RecordsDatabase db;
    ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadOnly), RecordsFault::None);
    ReportQuery query;
    query.since = window.from();
    query.until = window.until();
    const auto events = db.events({query.since, query.until, ""});
    ASSERT_TRUE(events);
    const ProductionReport expected = computeReport(*events, query, wallClockMillis());
    EXPECT_EQ(window.report().total.runsFinished, expected.total.runsFinished);
    EXPECT_EQ(window.report().total.stitchesSewn, expected.total.stitchesSewn);
    const QString summary = window.findChild<QLabel*>("productionSummary")->text();
    EXPECT_TRUE(summary.contains(QString::number(expected.total.stitchesSewn))) << summary.toStdString();
    const QAbstractItemModel* table = window.findChild<QTableView*>("productionRuns")->model();
    ASSERT_EQ(table->rowCount(), int(window.runs().size()));
    // Before the first shift of the day there are none yet.
    for (int r = 0; r < std::min(table->rowCount(), 3); ++r) {
        EXPECT_EQ(table->data(table->index(r, 0)).toString().toStdString(),
                  window.runs()[std::size_t(r)].address);
        EXPECT_EQ(table->data(table->index(r, 5)).toLongLong(),
                  window.runs()[std::size_t(r)].stitchesSewn);
    }

    // Yesterday and today: the rows the operator selected stay selected over a refresh.
    window.findChild<QDateEdit*>("productionFrom")->setDate(QDate::currentDate().addDays(-1));
    window.setRange(ProductionWindow::Range::Chosen);
    ASSERT_GT(table->rowCount(), 2);
    auto* view = window.findChild<QTableView*>("productionRuns");
    view->selectRow(2);
    const int rows = table->rowCount();
    window.reload();
    EXPECT_EQ(table->rowCount(), rows);
    EXPECT_TRUE(view->selectionModel()->isRowSelected(2, {}));

    const std::string csv = folder.file("runs.csv");
    ASSERT_TRUE(window.exportRuns(csv));
    const std::string text = readBytes(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::ptrdiff_t(window.runs().size() + 1));
    EXPECT_EQ(text.rfind("machine,name,design,", 0), 0u);

    const std::string foreign = folder.file("other.sqlite");
    writeBytes(foreign, "a shop's own notes");
    ProductionWindow other(nullptr, foreign, {});
    other.setLanguage(2);
    EXPECT_FALSE(other.problem().isEmpty());
    EXPECT_TRUE(other.findChild<QLabel*>("productionSummary")
                    ->text()
                    .startsWith(ui_test::text(TextId::HistoryUnreadable, 2)));
    EXPECT_EQ(readBytes(foreign), "a shop's own notes");
}
