#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QDialog>
#include <QElapsedTimer>

#include "records/ProductionReport.h"
#include "records/RecordsDatabase.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class RunsModel;

// The "Production" window: what every machine sewed today, this week or in a chosen range,
// from the production history: stitches and utilisation per machine, a timeline of sewing,
// standing and offline per machine, and the table of runs, which exports to CSV. It only reads
// the history, with the same report the tool prints.
class ProductionWindow : public QDialog
{
    Q_OBJECT
public:
    enum class Range { Today, ThisWeek, Chosen };
    static constexpr int kRefreshMs = 10000;
    // History read at most this long ago is shown as it is when the window is shown.
    static constexpr int kFreshMs = 1000;

    ProductionWindow(QWidget* parent, std::string historyPath, std::vector<ShiftSpec> shifts);

    void setLanguage(int language);
    void setRange(Range range);
    // Reads the history for the range again and redraws everything.
    void reload();
    // Writes the table of runs as CSV; false (and a message) when it could not be written.
    bool exportRuns(const std::string& path);

    const ProductionReport& report() const { return m_report; }
    const std::vector<RunRow>& runs() const { return m_runs; }
    std::int64_t from() const { return m_from; }
    std::int64_t until() const { return m_until; }
    // "" when the history could be read (or does not exist yet), else why not.
    const QString& problem() const { return m_problem; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void onExport();
    void fillSummary();
    void fitColumns();

    std::string m_historyPath;
    std::vector<ShiftSpec> m_shifts;
    int m_language = 0;
    Range m_range = Range::Today;
    std::int64_t m_from = 0;
    std::int64_t m_until = 0;
    ProductionReport m_report;
    std::vector<RunRow> m_runs;
    QString m_problem;
    QElapsedTimer m_readAt; // when the history was last read
    bool m_columnsFitted = false;

    QComboBox* m_rangeBox = nullptr;
    QDateEdit* m_fromEdit = nullptr;
    QDateEdit* m_untilEdit = nullptr;
    QPushButton* m_exportButton = nullptr;
    QLabel* m_summary = nullptr;
    QWidget* m_bars = nullptr;
    QWidget* m_timeline = nullptr;
    QTableView* m_table = nullptr;
    RunsModel* m_runsModel = nullptr;
    QTimer* m_timer = nullptr;
};
