#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QStringList>

#include "app/ConfigFile.h"
#include "app/UiTexts.h"
#include "control/ViewProgress.h"
#include "design/Design.h"
#include "ui/BatchSending.h"
#include "ui/CDesignSet.h"
#include "ui/ColorPanel.h"
#include "ui/ControlIds.h"

class QFrame;
class QLineEdit;
class QGroupBox;
class QPushButton;
class QTimer;
class MachineList;
struct LinkSettings;
class LinkState;
class MainWindowLink;
class MachinesWindow;
class MessageLogWindow;
class ProductionWindow;

// The main window: machine list, design view with its information strip, colour-change
// panel and the function buttons. It routes each button to the part that does the work and
// shows the outcome; the network threads reach it only through the shared link state and
// queued calls.
class ShopFloorService;

class CHoopwatchDlg : public QDialog
{
    Q_OBJECT
public:
    // The window timers by their numbers.
    enum TimerId {
        ListTimer = 5,
        LabelTimer = 6,
        PaletteTimer = 7,
        ProgressTimer = 8,
        SearchTimer = 9
    };

    // Opens a file dialog and returns the chosen paths (empty when cancelled); tests replace it.
    using DesignChooser = std::function<QStringList(QWidget* parent)>;

    // `settings` and `state` must outlive the window.
    CHoopwatchDlg(ConfigFile config, const LinkSettings& settings, LinkState& state,
                  QWidget* parent = nullptr);
    ~CHoopwatchDlg() override;

    // Reads the stored language and writes the texts of the window in it.
    void applyLanguage();
    int language() const { return m_language; }

    // Loads the paths in turn; the last one stays the current design.
    void importDesigns(const QStringList& paths);
    // The paths that name readable files of a design format, as absolute paths in their
    // order; the others are added to `refused`.
    static QStringList designFilesAmong(const QStringList& paths, QStringList* refused);
    const Design& design() const { return m_design; }
    const std::string& designPath() const { return m_designPath; }
    const std::string& designFileName() const { return m_designFileName; }

    void setDesignChooser(DesignChooser chooser) { m_chooser = std::move(chooser); }
    // The folder the import dialog opens in (the current folder when empty).
    void setDesignFolder(const QString& folder) { m_designFolder = folder; }
    ColorPanel& colorPanel() { return m_colorPanel; }
    MachineList& machineList() { return *m_machineList; }
    // The "Machines" window (context menu, Ctrl+M); it exists, hidden, from the start.
    MachinesWindow& machinesWindow() { return *m_machines; }
    void openMachines();
    // The shop-floor dialog (context menu): the web page and MQTT, off until switched on there.
    void openShopFloor();
    ShopFloorService* shopFloor() const { return m_shop; }
    // The log of every message of this run (context menu, Ctrl+L); it exists, hidden, from the
    // start.
    MessageLogWindow& messageLog() { return *m_log; }
    void openMessageLog();
    // The "Production" window (context menu, Ctrl+P), made on first use.
    ProductionWindow& productionWindow();
    void openProduction();
    // Chooses the machine at the address as ticking it in the machine list does.
    void chooseMachine(const std::string& address);
    QTimer* timer(TimerId id) const;

    // The rectangles of the design area and the information strip in client pixels.
    QRect designArea() const;
    QRect stripArea() const;

    // What the view shows of the polled machine's progress on the current design.
    ProgressShown progressShown() const;
    MainWindowLink& link() { return *m_link; }
    BatchSending& batch() { return m_batch; }

    // Repaints what the window draws itself.
    void redraw();

    // Stops the network threads; the window closes right after.
    void stopThreads();
    void done(int result) override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void initDialog();
    void startTimer(TimerId id, int periodMs, bool singleShot);

    void onImport();
    void onParameters();
    void onSend();
    // The current design to the first chosen machine, or to every one of `addresses` at once.
    void sendDesignTo(const std::optional<std::vector<std::string>>& addresses);
    // After the table changed (a load, a name, a removal): the list, the poller, the fleet.
    void machineTableChanged();
    // The state marks of the list, from the fleet monitor.
    void showMachineStates();
    void onJog();
    void onLever();
    void onConfirm();
    void onBatch();
    void onLanguage();
    void onSearch();
    void onPageUp();
    void onPageDown();
    void onAbout();
    void startFleet();

    void onListTimer();
    void onLabelTimer();
    // Shows the settings file's first unreported write failure, if any.
    void reportConfigFailure();
    void onPaletteTimer();
    void onProgressTimer();
    void onSearchTimer();

    // The paint routine: colour panel, design field and information strip.
    void paintView(QPainter& painter);
    QString text(TextId id) const;

    ConfigFile m_config;
    const LinkSettings& m_settings;
    LinkState& m_state;
    int m_language = 0;

    Design m_design;
    std::string m_designPath;
    std::string m_designFileName;
    std::string m_importedPath;                   // where m_design was read from
    std::optional<DesignFileStamp> m_designStamp; // the file the shown design was read from
    std::int32_t m_lastDrawnStitch = 0;

    ColorPanel m_colorPanel;
    BatchSending m_batch;
    MachineList* m_machineList = nullptr;
    std::map<MainControl, QPushButton*> m_buttons;
    std::map<MainControl, QGroupBox*> m_groups;
    QWidget* m_paintLayer = nullptr;
    QFrame* m_designFrame = nullptr; // control 1037: the measure of the design area
    QLineEdit* m_waitText = nullptr;
    std::map<int, QTimer*> m_timers;
    DesignChooser m_chooser;
    QString m_designFolder;
    std::unique_ptr<MainWindowLink> m_link;
    ShopFloorService* m_shop = nullptr; // null where the build has no shop floor
    MachinesWindow* m_machines = nullptr;
    MessageLogWindow* m_log = nullptr;
    std::optional<CDesignSet::Values> m_lastParameters; // what the parameter dialog last sent
    bool m_drawnOffline = false; // whether the strip last said the polled machine is offline
    ProductionWindow* m_production = nullptr;
};
