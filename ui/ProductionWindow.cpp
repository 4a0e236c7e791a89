#include "ui/ProductionWindow.h"

#include "app/MachineTable.h"

#include <algorithm>
#include <fstream>
#include <functional>

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetrics>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "app/UiTexts.h"
#include "records/ReportChart.h"
#include "records/ReportFormat.h"
#include "render/QPainterChartCanvas.h"
#include "ui/MessageBoxes.h"
#include "ui/QtTexts.h"

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

ChartLabels chartLabels(int language)
{
    ChartLabels labels;
    labels.stitches = utf8(qtText(TextId::RunStitchesSewn, language));
    labels.utilisation = utf8(qtText(TextId::ChartUtilisation, language));
    labels.sewing = utf8(qtText(TextId::ChartSewing, language));
    labels.standing = utf8(qtText(TextId::MachineStanding, language));
    labels.offline = utf8(qtText(TextId::MachineOffline, language));
    labels.noData = utf8(qtText(TextId::ChartNoData, language));
    return labels;
}

// A chart of the window's report, drawn by the shared chart code on each paint.
class ChartView : public QWidget
{
public:
    using Draw = std::function<void(ChartCanvas&, double width, double height)>;
    ChartView(QWidget* parent, Draw draw, int minimumHeight) : QWidget(parent), m_draw(std::move(draw))
    {
        setMinimumHeight(minimumHeight);
        setMinimumWidth(480);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterChartCanvas canvas(painter);
        m_draw(canvas, width(), height());
    }

private:
    Draw m_draw;
};

} // namespace

// The runs of the range as the table shows them. Cells are made as the view asks for them, so a
// large shop's day of runs costs nothing until it is scrolled to.
class RunsModel : public QAbstractTableModel
{
public:
    RunsModel(QObject* parent, const std::vector<RunRow>& runs)
        : QAbstractTableModel(parent), m_runs(runs)
    {
    }

    // Puts `fresh` in place of `runs` (the vector the model shows) row by row rather than
    // anew, so the rows the operator selected and the scroll position stay over a refresh.
    void replace(std::vector<RunRow>& runs, std::vector<RunRow> fresh)
    {
        const int before = int(runs.size());
        const int after = int(fresh.size());
        if (after < before) {
            beginRemoveRows({}, after, before - 1);
            runs.resize(std::size_t(after));
            endRemoveRows();
        } else if (after > before) {
            beginInsertRows({}, before, after - 1);
            runs.resize(std::size_t(after));
            endInsertRows();
        }
        runs = std::move(fresh);
        if (after > 0)
            emit dataChanged(index(0, 0), index(after - 1, kColumns - 1));
    }
    void setLanguage(int language)
    {
        m_language = language;
        emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_runs.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : kColumns;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static constexpr TextId kHeaders[kColumns] = {
            TextId::MachinesAddress,    TextId::MachinesDesign,     TextId::RunStarted,
            TextId::RunEnded,           TextId::MachineFinished,    TextId::RunStitchesSewn,
            TextId::RunSewingMinutes,   TextId::RunStandingMinutes, TextId::RunStops};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= kColumns)
            return QAbstractTableModel::headerData(section, orientation, role);
        return qtText(kHeaders[section], m_language);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(m_runs.size()))
            return {};
        const int column = index.column();
        if (role == Qt::TextAlignmentRole)
            return column >= 5 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
        if (role != Qt::DisplayRole)
            return {};
        const RunRow& run = m_runs[std::size_t(index.row())];
        switch (column) {
        case 0:
            return fromUtf8(machineLabel(run.address, run.machineName));
        case 1:
            return fromUtf8(run.design.name);
        case 2:
            return fromUtf8(localDateTime(run.started));
        case 3:
            return run.ended ? fromUtf8(localDateTime(run.ended)) : QString();
        case 4:
            return run.finished ? QStringLiteral("✔") : QString();
        case 5:
            return QString::number(run.stitchesSewn);
        case 6:
            return QString::number(run.sewingSeconds / 60.0, 'f', 1);
        case 7:
            return QString::number(run.standingSeconds / 60.0, 'f', 1);
        case 8:
            return QString::number(run.stops);
        default:
            return {};
        }
    }

private:
    static constexpr int kColumns = 9;
    const std::vector<RunRow>& m_runs;
    int m_language = 0;
};

ProductionWindow::ProductionWindow(QWidget* parent, std::string historyPath,
                                   std::vector<ShiftSpec> shifts)
    : QDialog(parent), m_historyPath(std::move(historyPath)), m_shifts(std::move(shifts))
{
    setObjectName(QStringLiteral("productionWindow"));
    setModal(false);
    resize(980, 760);

    m_rangeBox = new QComboBox(this);
    m_rangeBox->setObjectName(QStringLiteral("productionRange"));
    m_rangeBox->addItems({QString(), QString(), QString()});
    m_fromEdit = new QDateEdit(QDate::currentDate(), this);
    m_fromEdit->setObjectName(QStringLiteral("productionFrom"));
    m_untilEdit = new QDateEdit(QDate::currentDate(), this);
    m_untilEdit->setObjectName(QStringLiteral("productionUntil"));
    for (QDateEdit* edit : {m_fromEdit, m_untilEdit}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        // Room for the widest date and the calendar button: some styles' own hint (Windows
        // under some fonts) cut off the last digit.
        const QFontMetrics metrics = edit->fontMetrics();
        edit->setMinimumWidth(std::max(edit->sizeHint().width(),
                                       metrics.horizontalAdvance(QStringLiteral("8888-88-88")) +
                                           3 * metrics.averageCharWidth() + 24));
        connect(edit, &QDateEdit::dateChanged, this, [this] {
            if (m_range == Range::Chosen)
                reload();
        });
    }
    m_exportButton = new QPushButton(this);
    m_exportButton->setObjectName(QStringLiteral("productionExport"));
    connect(m_exportButton, &QPushButton::clicked, this, &ProductionWindow::onExport);
    connect(m_rangeBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { setRange(static_cast<Range>(index)); });

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("productionSummary"));

    m_bars = new ChartView(
        this,
        [this](ChartCanvas& canvas, double w, double h) {
            drawMachineBars(canvas, m_report, w, h, chartLabels(m_language));
        },
        200);
    m_bars->setObjectName(QStringLiteral("productionBars"));
    m_timeline = new ChartView(
        this,
        [this](ChartCanvas& canvas, double w, double h) {
            drawTimeline(canvas, m_report, m_from, m_until, w, h, chartLabels(m_language));
        },
        140);
    m_timeline->setObjectName(QStringLiteral("productionTimeline"));

    m_runsModel = new RunsModel(this, m_runs);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("productionRuns"));
    m_table->setModel(m_runsModel);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto* top = new QHBoxLayout;
    top->addWidget(m_rangeBox);
    top->addWidget(m_fromEdit);
    top->addWidget(m_untilEdit);
    top->addStretch(1);
    top->addWidget(m_exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_summary);
    layout->addWidget(m_bars, 3);
    layout->addWidget(m_timeline, 2);
    layout->addWidget(m_table, 3);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("productionRefresh"));
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &ProductionWindow::reload);

    setLanguage(0);
    setRange(Range::Today);
}

void ProductionWindow::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(qtText(TextId::ProductionCaption, language));
    m_rangeBox->setItemText(0, qtText(TextId::ProductionToday, language));
    m_rangeBox->setItemText(1, qtText(TextId::ProductionThisWeek, language));
    m_rangeBox->setItemText(2, qtText(TextId::ProductionRange, language));
    m_exportButton->setText(qtText(TextId::ProductionExport, language));
    // The runs' cells hold no words; only the headings change.
    m_runsModel->setLanguage(language);
    fitColumns();
    fillSummary();
    m_bars->update();
    m_timeline->update();
}

void ProductionWindow::setRange(Range range)
{
    m_range = range;
    if (m_rangeBox->currentIndex() != int(range)) {
        const QSignalBlocker block(m_rangeBox);
        m_rangeBox->setCurrentIndex(int(range));
    }
    m_fromEdit->setEnabled(range == Range::Chosen);
    m_untilEdit->setEnabled(range == Range::Chosen);
    reload();
}

void ProductionWindow::reload()
{
    const std::int64_t now = wallClockMillis();
    switch (m_range) {
    case Range::Today:
        m_from = localDayStart(now);
        m_until = localDayStart(now, 1);
        break;
    case Range::ThisWeek: {
        // Weeks begin on Monday.
        const int weekday = QDate::currentDate().dayOfWeek(); // 1 Monday .. 7 Sunday
        m_from = localDayStart(now, 1 - weekday);
        m_until = localDayStart(now, 1);
        break;
    }
    case Range::Chosen: {
        const QDate from = m_fromEdit->date();
        const QDate until = std::max(from, m_untilEdit->date());
        m_from = parseLocalDate(utf8(from.toString(Qt::ISODate))).value_or(localDayStart(now));
        m_until = localDayStart(
            parseLocalDate(utf8(until.toString(Qt::ISODate))).value_or(localDayStart(now)), 1);
        break;
    }
    }
    ReportQuery query;
    query.since = m_from;
    query.until = m_until;
    query.by = ReportGrouping::Day;
    query.shifts = m_shifts;
    m_problem.clear();
    m_report = {};
    std::vector<RunRow> fresh;
    m_readAt.start();
    RecordsDatabase database;
    // No history yet is no fault: nothing has been recorded.
    if (QFileInfo::exists(fromUtf8(m_historyPath))) {
        const RecordsFault fault = database.open(m_historyPath, RecordsDatabase::Mode::ReadOnly);
        std::optional<ProductionReport> report;
        std::optional<std::vector<RunRow>> runs;
        if (fault == RecordsFault::None) {
            report = readReport(database, query, now);
            runs = database.runs({query.since, query.until, ""});
        }
        if (report && runs) {
            m_report = std::move(*report);
            fresh = std::move(*runs);
        } else {
            m_problem = fromUtf8(m_historyPath + " (" + std::string(recordsFaultText(fault)) +
                                 (database.detail().empty() ? "" : ": " + database.detail()) +
                                 ")");
        }
    }
    m_runsModel->replace(m_runs, std::move(fresh));
    fitColumns();
    fillSummary();
    m_bars->update();
    m_timeline->update();
}

void ProductionWindow::fitColumns()
{
    // Measuring a large shop's runs takes a while: a hidden window does it once, when shown.
    m_columnsFitted = isVisible();
    if (m_columnsFitted)
        m_table->resizeColumnsToContents();
}

void ProductionWindow::fillSummary()
{
    if (!m_problem.isEmpty()) {
        m_summary->setText(qtText(TextId::HistoryUnreadable, m_language) + u' ' + m_problem);
        return;
    }
    const auto u = m_report.total.utilisation();
    QString text = qtText(TextId::ProductionSummaryTemplate, m_language);
    for (const QString& value :
         {QString::number(m_report.total.runsFinished), QString::number(m_report.total.stitchesSewn),
          u ? QString::number(*u * 100.0, 'f', 1) + u'%' : QStringLiteral("-")}) {
        const qsizetype at = text.indexOf(QStringLiteral("%s"));
        if (at >= 0)
            text.replace(at, 2, value);
    }
    m_summary->setText(text);
}

bool ProductionWindow::exportRuns(const std::string& path)
{
    const std::string text = runsCsv(m_runs);
    bool ok = false;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), std::streamsize(text.size()));
        out.close();
        ok = static_cast<bool>(out);
    }
    if (!ok)
        showMessage(this, qtText(TextId::ExportFailed, m_language) + u'\n' + fromUtf8(path));
    return ok;
}

void ProductionWindow::onExport()
{
    const QString path = QFileDialog::getSaveFileName(
        this, qtText(TextId::ProductionExport, m_language),
        QStringLiteral("production-%1.csv").arg(fromUtf8(localDate(m_from))),
        QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty())
        exportRuns(utf8(path));
}

void ProductionWindow::showEvent(QShowEvent* event)
{
    // A window made just before it is shown has read the history already; a large shop's day
    // takes long enough to read that it is not read twice.
    if (!m_readAt.isValid() || m_readAt.elapsed() >= kFreshMs)
        reload();
    if (!m_columnsFitted)
        m_table->resizeColumnsToContents();
    m_columnsFitted = true;
    m_timer->start();
    QDialog::showEvent(event);
}

void ProductionWindow::hideEvent(QHideEvent* event)
{
    m_timer->stop();
    QDialog::hideEvent(event);
}
