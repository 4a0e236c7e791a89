#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QDialog>
#include <QPixmap>

#include "app/UiTexts.h"
#include "control/FleetMonitor.h"
#include "design/Design.h"
#include "render/DrawingSurface.h"

class QSortFilterProxyModel;
class QSystemTrayIcon;
class QMenu;
class QTableView;
class QTimer;
class FleetSession;

// The state word of a machine's row, in the order the State column sorts.
TextId fleetStateText(const FleetMachine& machine);
// The mark that goes with a state word, and its colour (a style sheet colour).
QString fleetStateMark(TextId state);
QString fleetStateColor(TextId state);
// "about N min left", N rounded up; empty while unknown and at the end of the design.
QString timeLeftText(const std::optional<std::int64_t>& secondsLeft, int language);
// The share sewn with one decimal, cut rather than rounded; empty while unknown.
QString sewnText(const std::optional<double>& percent);
// A notice for the operator, or nothing for events that need none.
std::optional<QString> fleetNoticeText(const FleetEvent& event, int language);

// The rows of the Machines window: one per machine of the fleet monitor.
class FleetTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        Address,
        Name,
        State,
        DesignName,
        Drawing,
        Progress,
        Sewn,
        TimeLeft,
        ColumnCount
    };
    // The value a column sorts by (numbers where the text would sort wrongly).
    static constexpr int SortRole = Qt::UserRole + 1;
    // The Progress column's share sewn, 0 to 100, or -1 while unknown.
    static constexpr int PercentRole = Qt::UserRole + 2;

    explicit FleetTableModel(QObject* parent = nullptr);

    void setLanguage(int language);
    // Replaces the rows; rows of the same machines in the same order are updated in place, so
    // the view keeps its selection and sort.
    void setMachines(std::vector<FleetMachine> machines, std::map<std::string, QPixmap> drawings);
    // The machine the main window's commands go to; its row is drawn bold.
    void setTarget(std::optional<std::string> address);
    const FleetMachine& machine(int row) const { return m_machines[std::size_t(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString text(TextId id) const;

    int m_language = 0;
    std::vector<FleetMachine> m_machines;
    std::map<std::string, QPixmap> m_drawings;
    std::optional<std::string> m_target;
};

// The "Machines" window: every machine of the table at a glance, from the fleet monitor's
// snapshots on a timer, never waiting for the network. A double-click chooses the machine as
// a tick in the main window's list does; on the Name column it names the machine. Several
// rows may be selected; the context menu sends the current design to all of them at once,
// starts or stops them, confirms them, makes one the target, names or removes one. The window also
// turns the fleet's events into notices (a tray message where there is a tray, else a message that
// blocks nothing).
class MachinesWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 500;
    static constexpr int kDrawingWidth = 96;
    static constexpr int kDrawingHeight = 64;
    // Stitch records one refresh may draw into the rows' drawings (about 10 ms).
    static constexpr std::int64_t kDrawingBudget = 400000;

    // Chooses the machine at the address; the main window's tick rule does the work.
    using Chooser = std::function<void(const std::string& address)>;
    using NoticeHook = std::function<void(const QString& text)>;

    // What the window asks the main window to do for the selected machines.
    struct Actions
    {
        std::function<void(const std::vector<std::string>& addresses)> send;
        std::function<void(const std::vector<std::string>& addresses)> lever;
        std::function<void(const std::vector<std::string>& addresses)> confirm;
        // Names the machine; false when the name was refused.
        std::function<bool(const std::string& address, const QString& name)> rename;
        std::function<void(const std::string& address)> remove;
        // The machine the commands go to now.
        std::function<std::optional<std::string>()> target;
    };

    MachinesWindow(QWidget* parent, FleetSession& fleet, Chooser chooser);
    void setActions(Actions actions) { m_actions = std::move(actions); }
    // The addresses of the selected rows, in the order shown.
    std::vector<std::string> selectedAddresses() const;
    // The context menu for the selected rows (tests run its actions without showing it).
    QMenu* contextMenu();
    ~MachinesWindow() override;

    void setLanguage(int language);
    // Keeps the design just sent to `address` for its row's drawing, in the colours it was
    // shown in; the row shows it while the machine's recorded design has that name.
    void setDesignDrawing(const std::string& address, const std::string& name, Design design,
                          std::vector<ColorRef> colors);

    // The main window's current design: after a restart it draws the rows whose recorded
    // design has its name and stitch count, since the sent designs themselves are not kept.
    void setCurrentDesign(const std::string& name, Design design, std::vector<ColorRef> colors);

    // Takes one fleet event on the UI thread.
    void onFleetEvent(const FleetEvent& event);
    // The fleet file could not be written: a message in the main window, once per run, since
    // every later design would fail the same way.
    void fleetFileFailed();
    // Tests see the notices here instead of on the screen.
    void setNoticeHook(NoticeHook hook) { m_noticeHook = std::move(hook); }

    // Reads the monitor and updates the rows now (the timer does this while the window shows).
    void refresh();
    QTableView* table() const { return m_view; }
    FleetTableModel& model() { return *m_model; }
    FleetSession& fleet() { return m_fleet; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct DesignDrawing
    {
        std::string name;
        std::shared_ptr<const Design> design;
        std::vector<ColorRef> colors;
        std::int32_t drawnStitch = -1;
        std::int64_t drawnAtMs = 0;
        QPixmap pixmap;
    };
    // The row's drawing, redrawn when due and within `budget` (stitch records left to draw).
    QPixmap drawingFor(const FleetMachine& machine, std::int64_t nowMs, std::int64_t& budget);
    void onDoubleClicked(const QModelIndex& index);
    void renameMachine(const std::string& address);
    void removeMachine(const std::string& address);
    void showNotice(const QString& text, const std::string& machine);

    FleetSession& m_fleet;
    Chooser m_chooser;
    Actions m_actions;
    QMenu* m_menu = nullptr;
    int m_language = 0;
    FleetTableModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    QTableView* m_view = nullptr;
    QTimer* m_timer = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    NoticeHook m_noticeHook;
    std::map<std::string, DesignDrawing> m_drawings; // by canonical address
    std::size_t m_drawFrom = 0;
    std::optional<DesignDrawing> m_current;
    bool m_fileFailureShown = false;
};
