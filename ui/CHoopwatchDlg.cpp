#include "ui/CHoopwatchDlg.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMetaObject>
#include <QPainter>
#include <QShortcut>
#include <QThread>
#include <QTimer>

#include "app/MachineTable.h"
#include "app/UiTexts.h"
#include "design/DesignLoader.h"
#include "control/LinkSettings.h"
#include "control/DesignTransfer.h"
#include "control/FleetSession.h"
#include "control/LinkState.h"
#include "control/StatusDisplay.h"
#include "ui/AppIcon.h"
#include "ui/CAboutDlg.h"
#include "ui/CDSFileDialog.h"
#include "ui/CDesignSet.h"
#include "ui/CSetLanguage.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/FunctionButton.h"
#include "ui/MachineList.h"
#include "ui/MachinesWindow.h"
#ifdef HOOPWATCH_HAVE_SHOP
#include "ui/ShopFloorDialog.h"
#include "ui/ShopFloorService.h"
#endif
#include "ui/ProductionWindow.h"
#include "records/ProductionRecording.h"
#include "ui/MainViewPainter.h"
#include "ui/MainWindowLink.h"
#include "ui/MessageBoxes.h"
#include "ui/MessageLog.h"
#include "ui/QtTexts.h"
#include "ui/QtTranslations.h"

namespace {

struct ButtonPlace
{
    MainControl id;
    int x, y, w, h;
    TextId text;
};

// The function row and the other buttons whose texts the language step writes.
constexpr ButtonPlace kButtons[] = {
    {MainControl::InputDesign, 42, 386, 61, 42, TextId::InputDesignButton},
    {MainControl::Parameters, 117, 386, 61, 42, TextId::ParametersButton},
    {MainControl::SendDesign, 192, 386, 61, 42, TextId::SendDesignButton},
    {MainControl::Lever, 267, 386, 61, 42, TextId::LeverButton},
    {MainControl::Jog, 342, 386, 61, 42, TextId::JogButton},
    {MainControl::Confirm, 417, 386, 61, 42, TextId::ConfirmButton},
    {MainControl::BatchSending, 492, 386, 61, 42, TextId::BatchSendingButton},
    {MainControl::Language, 567, 386, 61, 42, TextId::LanguageButton},
    {MainControl::MachineSearch, 8, 337, 90, 14, TextId::MachineSearchButton},
    {MainControl::ColorPageUp, 579, 317, 77, 14, TextId::ColorPageUpButton},
    {MainControl::ColorPageDown, 580, 334, 77, 14, TextId::ColorPageDownButton},
};

struct GroupPlace
{
    MainControl id;
    int x, y, w, h;
    TextId text;
};

constexpr GroupPlace kGroups[] = {
    {MainControl::MachineListGroup, 7, 7, 95, 346, TextId::MachineListGroup},
    {MainControl::DesignViewGroup, 108, 7, 457, 346, TextId::DesignViewGroup},
    {MainControl::ColorSetGroup, 569, 7, 93, 346, TextId::ColorSetGroup},
    {MainControl::FunctionButtonsGroup, 7, 361, 655, 82, TextId::FunctionButtonsGroup},
};

// The window's own drawing (colour panel, design field, information strip) on a layer above
// the frames, which the style may tint, and below every control; clicks go through it.
class PaintLayer : public QWidget
{
public:
    PaintLayer(QWidget* parent, std::function<void(QPainter&)> paint)
        : QWidget(parent), m_paint(std::move(paint))
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        m_paint(painter);
    }

private:
    std::function<void(QPainter&)> m_paint;
};

QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSize(9);
    return font;
}

} // namespace

CHoopwatchDlg::CHoopwatchDlg(ConfigFile config, const LinkSettings& settings, LinkState& state,
                             QWidget* parent)
    : QDialog(parent), m_config(std::move(config)), m_settings(settings), m_state(state),
      m_colorPanel(m_config), m_batch(m_config, settings)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(windowFont());
    setWindowIcon(appIcon());
    setFixedSize(kMainWindowUnits.size(669, 450));
    setAutoFillBackground(true);
    // Design files dropped on the window are imported as Input Design imports them.
    setAcceptDrops(true);
    // A fresh window shows no progress and the built-in palette until a machine reports one.
    MachineStatus status = m_state.machineStatus.snapshot();
    status.workState = 0;
    status.currentStitch = 0;
    m_state.machineStatus.store(status);
    m_state.colorPalette.store(defaultColorPalette());

    createControls();
    initDialog();
}

CHoopwatchDlg::~CHoopwatchDlg()
{
    stopThreads();
}

void CHoopwatchDlg::createControls()
{
    const DialogUnits& u = kMainWindowUnits;
    // Frames first, so the controls inside them stay on top.
    for (const GroupPlace& g : kGroups)
        m_groups[g.id] = placeControl(new QGroupBox(this), g.id, u, g.x, g.y, g.w, g.h);

    m_paintLayer = new PaintLayer(this, [this](QPainter& painter) { paintView(painter); });
    m_paintLayer->setGeometry(rect());

    m_designFrame = placeControl(new QFrame(this), MainControl::DesignFrame, u, 111, 14, 449, 340);
    m_designFrame->hide();

    for (const ButtonPlace& b : kButtons) {
        QPushButton* button = b.h > 20 ? new FunctionButton(this) : new QPushButton(this);
        m_buttons[b.id] = placeControl(button, b.id, u, b.x, b.y, b.w, b.h);
    }
    // Machine page buttons of the template; the list never needs them.
    for (auto [id, y, caption] :
         {std::tuple{MainControl::MachinePageUp, 306, TextId::ColorPageUpButton},
          std::tuple{MainControl::MachinePageDown, 322, TextId::ColorPageDownButton}}) {
        auto* hidden = placeControl(new QPushButton(qtText(caption, 1), this), id, u, 8, y, 90, 14);
        hidden->hide();
    }

    m_waitText =
        placeControl(new QLineEdit(this), MainControl::SearchWaitText, u, 165, 81, 346, 126);
    m_waitText->setReadOnly(true);
    m_waitText->setAlignment(Qt::AlignCenter);
    QFont big = font();
    big.setPointSize(14);
    m_waitText->setFont(big);
    m_waitText->hide();

    m_machineList = new MachineList(this, m_config, m_settings, m_state);

    const std::pair<MainControl, void (CHoopwatchDlg::*)()> handlers[] = {
        {MainControl::InputDesign, &CHoopwatchDlg::onImport},
        {MainControl::Parameters, &CHoopwatchDlg::onParameters},
        {MainControl::SendDesign, &CHoopwatchDlg::onSend},
        {MainControl::Lever, &CHoopwatchDlg::onLever},
        {MainControl::Jog, &CHoopwatchDlg::onJog},
        {MainControl::Confirm, &CHoopwatchDlg::onConfirm},
        {MainControl::BatchSending, &CHoopwatchDlg::onBatch},
        {MainControl::Language, &CHoopwatchDlg::onLanguage},
        {MainControl::MachineSearch, &CHoopwatchDlg::onSearch},
        {MainControl::ColorPageUp, &CHoopwatchDlg::onPageUp},
        {MainControl::ColorPageDown, &CHoopwatchDlg::onPageDown},
    };
    for (const auto& [id, handler] : handlers)
        connect(m_buttons[id], &QPushButton::clicked, this, handler);
    // Enter never sends a design: these two take a click or Space only (keyPressEvent).
    for (MainControl id : {MainControl::SendDesign, MainControl::BatchSending}) {
        m_buttons[id]->setAutoDefault(false);
        m_buttons[id]->setDefault(false);
    }

    m_log = new MessageLogWindow(this);
    auto* logShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(logShortcut, &QShortcut::activated, this, &CHoopwatchDlg::openMessageLog);
}

void CHoopwatchDlg::initDialog()
{
    m_colorPanel.layout(rect());
    m_machineList->show(0);
    m_waitText->hide();
    writeWindowDefaults(m_config);
    const int count = MachineTable(m_config).count();
    m_machineList->sendPaletteQuery();
    m_buttons[MainControl::Confirm]->setText(qtText(TextId::ConfirmButton, 1));

    startTimer(ListTimer, 1500, true);
    startTimer(LabelTimer, 1000, false);
    startTimer(PaletteTimer, 10000, false);
    // Each status answer of the polled machine asks for a redraw itself; this timer only
    // notices what no answer brings (the machine going offline).
    startTimer(ProgressTimer, 1000, false);

    m_link = std::make_unique<MainWindowLink>(this, m_config, m_settings, m_state);
    m_link->setStatusTaken([this] {
        QMetaObject::invokeMethod(this, &CHoopwatchDlg::onProgressTimer, Qt::QueuedConnection);
    });
    m_link->start(count == 0);
    m_batch.setLink(m_link.get());
    // A poller that ended for want of a chosen machine comes back once one is ticked.
    connect(m_machineList, &MachineList::tickChanged, this, [this] { m_link->resumePolling(); });
    startFleet();

    applyLanguage();
}

void CHoopwatchDlg::startTimer(TimerId id, int periodMs, bool singleShot)
{
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setObjectName(QStringLiteral("timer%1").arg(int(id)));
        switch (id) {
        case ListTimer:
            connect(timer, &QTimer::timeout, this, &CHoopwatchDlg::onListTimer);
            break;
        case LabelTimer:
            connect(timer, &QTimer::timeout, this, &CHoopwatchDlg::onLabelTimer);
            break;
        case PaletteTimer:
            connect(timer, &QTimer::timeout, this, &CHoopwatchDlg::onPaletteTimer);
            break;
        case ProgressTimer:
            connect(timer, &QTimer::timeout, this, &CHoopwatchDlg::onProgressTimer);
            break;
        case SearchTimer:
            connect(timer, &QTimer::timeout, this, &CHoopwatchDlg::onSearchTimer);
            break;
        }
    }
    timer->setSingleShot(singleShot);
    timer->start(periodMs);
}

QTimer* CHoopwatchDlg::timer(TimerId id) const
{
    const auto it = m_timers.find(id);
    return it == m_timers.end() ? nullptr : it->second;
}

QString CHoopwatchDlg::text(TextId id) const
{
    return qtText(id, m_language);
}

void CHoopwatchDlg::applyLanguage()
{
    m_language = readLanguage(m_config, "1");
    m_link->setLanguage(m_language);
    applyQtLanguage(m_language);
    setWindowTitle(text(TextId::WindowCaption));
    for (const GroupPlace& g : kGroups)
        m_groups[g.id]->setTitle(text(g.text));
    for (const ButtonPlace& b : kButtons)
        m_buttons[b.id]->setText(text(b.text));
    m_waitText->setText(text(TextId::SearchWaitText));
    m_machineList->setLanguage(m_language);
    showMachineStates();
    if (m_machines)
        m_machines->setLanguage(m_language);
    m_log->setLanguage(m_language);
    if (m_production)
        m_production->setLanguage(m_language);
    redraw(); // the information strip speaks the new language too
}

QRect CHoopwatchDlg::designArea() const
{
    const QSize s = m_designFrame->size();
    return {170, 30, s.width(), s.height() - 59};
}

QRect CHoopwatchDlg::stripArea() const
{
    const QSize s = m_designFrame->size();
    return {170, s.height() - 19, s.width(), 30};
}

void CHoopwatchDlg::stopThreads()
{
    for (auto& [id, timer] : m_timers)
        timer->stop();
#ifdef HOOPWATCH_HAVE_SHOP
    // The page and the broker read the fleet, so they end before it does.
    delete m_shop;
    m_shop = nullptr;
#endif
    if (m_link)
        m_link->stop();
}

void CHoopwatchDlg::done(int result)
{
    stopThreads();
    QDialog::done(result);
}

// ---- painting ------------------------------------------------------------------------------

void CHoopwatchDlg::redraw()
{
    m_paintLayer->update();
}

void CHoopwatchDlg::paintView(QPainter& painter)
{
    m_colorPanel.paint(painter);
    if (m_design.stitches.count <= 0)
        return;
    const MachineStatus status = m_state.machineStatus.snapshot();
    MainViewPainter view{
        m_design, m_colorPanel.sequence().displayColors, status, m_language,
        m_link->progressShown(m_designStamp, m_design.summary.stitchCount, status)};
    view.paintDesign(painter, designArea());
    view.paintStrip(painter, stripArea());
}

ProgressShown CHoopwatchDlg::progressShown() const
{
    return m_link->progressShown(m_designStamp, m_design.summary.stitchCount,
                                 m_state.machineStatus.snapshot());
}

void CHoopwatchDlg::mousePressEvent(QMouseEvent* event)
{
    if (m_colorPanel.click(event->pos(), this, m_state.colorPalette.snapshot()))
        redraw();
    QDialog::mousePressEvent(event);
}

void CHoopwatchDlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* machines =
        menu.addAction(text(TextId::MachinesCaption), this, &CHoopwatchDlg::openMachines);
    machines->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
#ifdef HOOPWATCH_HAVE_SHOP
    if (m_shop)
        menu.addAction(text(TextId::ShopCaption), this, &CHoopwatchDlg::openShopFloor);
#endif
    QAction* log =
        menu.addAction(text(TextId::MessageLogCaption), this, &CHoopwatchDlg::openMessageLog);
    log->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    QAction* production =
        menu.addAction(text(TextId::ProductionCaption), this, &CHoopwatchDlg::openProduction);
    production->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    const QString item = text(TextId::AboutMenuItem);
    if (!item.isEmpty())
        menu.addAction(item, this, &CHoopwatchDlg::onAbout);
    menu.exec(event->globalPos());
}

void CHoopwatchDlg::keyPressEvent(QKeyEvent* event)
{
    // Enter closes the window like OK unless a push button has the focus. A focused button
    // that takes Enter has pressed itself already; the send buttons do not take it, and the
    // key stops here, so it never reaches the dialog's default-button handling either.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (!qobject_cast<QPushButton*>(focusWidget()))
            accept();
        return;
    }
    if (event->key() == Qt::Key_F1) {
        onAbout();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- commands ------------------------------------------------------------------------------

void CHoopwatchDlg::onImport()
{
    // The folder the operator last took a design from, while it is still there.
    const QString kept = QString::fromStdString(readDesignFolder(m_config));
    const QString folder = !kept.isEmpty() && QFileInfo(kept).isDir() ? kept : m_designFolder;
    const QStringList paths = m_chooser ? m_chooser(this) : CDSFileDialog::choose(this, folder);
    if (!paths.isEmpty())
        writeDesignFolder(m_config, QFileInfo(paths.back()).absolutePath().toStdString());
    importDesigns(paths);
}

void CHoopwatchDlg::importDesigns(const QStringList& paths)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        m_designPath = path.toStdString();
        m_designFileName = info.fileName().toStdString();
        if (info.isDir())
            break;
        // The summary comes out of the load itself.
        loadDesign(m_designPath, &m_design);
        m_designStamp = designFileStamp(m_designPath);
        // A file larger than any machine takes is not read; the empty view needs a reason.
        if (isOversizedDesignFile(m_designPath))
            showMessage(this, text(TextId::DesignFileTooLargeToOpen));
        m_importedPath = m_designPath;
        m_state.clearProgress();
        m_lastDrawnStitch = 0;
        m_colorPanel.designImported(m_design.summary.colorCount, m_state.colorPalette.snapshot());
        const auto colors = m_colorPanel.displayColors();
        m_machines->setCurrentDesign(m_designFileName, m_design, {colors.begin(), colors.end()});
        redraw();
    }
}

QStringList CHoopwatchDlg::designFilesAmong(const QStringList& paths, QStringList* refused)
{
    QStringList designs;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable() &&
            designFormatForPath(info.fileName().toStdString())) {
            designs << info.absoluteFilePath();
        } else if (refused) {
            *refused << path;
        }
    }
    return designs;
}

namespace {

QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile())
                files << url.toLocalFile();
        }
    }
    return files;
}

} // namespace

void CHoopwatchDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!designFilesAmong(localFiles(event->mimeData()), nullptr).isEmpty())
        event->acceptProposedAction();
}

void CHoopwatchDlg::dropEvent(QDropEvent* event)
{
    QStringList refused;
    const QStringList designs = designFilesAmong(localFiles(event->mimeData()), &refused);
    if (designs.isEmpty())
        return;
    event->acceptProposedAction();
    importDesigns(designs);
    if (!refused.isEmpty()) {
        QStringList names;
        for (const QString& path : refused)
            names << QFileInfo(path).fileName();
        showMessage(this, text(TextId::DesignFileUnreadable) + u'\n' + names.join(u'\n'));
    }
}

void CHoopwatchDlg::onParameters()
{
    const auto address = m_machineList->selectedAddress();
    if (!address) {
        showMessage(this, text(TextId::UnselectedMachine));
        return;
    }
    CDesignSet dialog(this, m_config, m_settings, m_state, *address, m_colorPanel.colorNumbers(),
                      m_colorPanel.colorCount());
    // The operator goes on from what was last sent, not from the defaults.
    if (m_lastParameters)
        dialog.setValues(*m_lastParameters);
    dialog.exec();
    if (dialog.lastSent())
        m_lastParameters = dialog.lastSent();
}

void CHoopwatchDlg::onSend()
{
    sendDesignTo(std::nullopt);
}

void CHoopwatchDlg::sendDesignTo(const std::optional<std::vector<std::string>>& addresses)
{
    // After a batch the path names the batch's last file, which the window has not loaded.
    Design batchFile;
    const Design* design = &m_design;
    if (m_designPath != m_importedPath) {
        loadDesign(m_designPath, &batchFile);
        summarizeDesign(&batchFile);
        design = &batchFile;
    }
    const SentDesign sent = sentDesignOf(m_designFileName, *design);
    std::vector<std::string> targets;
    if (addresses) {
        targets = m_link->sendDesignToMany(m_designPath, m_designFileName, *addresses, sent);
    } else if (auto target = m_link->sendDesign(m_designPath, m_designFileName, sent)) {
        targets.push_back(*target);
    }
    if (design != &m_design)
        return;
    const auto colors = m_colorPanel.displayColors();
    for (const std::string& target : targets)
        m_machines->setDesignDrawing(target, m_designFileName, m_design,
                                     std::vector<ColorRef>(colors.begin(), colors.end()));
}

void CHoopwatchDlg::startFleet()
{
    // The fleet's callbacks come from network threads; the window takes them on its own.
    m_link->startFleet(
        [this](const FleetEvent& event) {
            QMetaObject::invokeMethod(
                this,
                [this, event] {
                    m_machines->onFleetEvent(event);
#ifdef HOOPWATCH_HAVE_SHOP
                    if (m_shop)
                        m_shop->onFleetEvent(event);
#endif
                },
                Qt::QueuedConnection);
        },
        [this](const std::string&, bool stored) {
            if (stored)
                return;
            QMetaObject::invokeMethod(
                this, [this] { m_machines->fleetFileFailed(); }, Qt::QueuedConnection);
        });
    m_machines = new MachinesWindow(this, *m_link->fleet(),
                                    [this](const std::string& address) { chooseMachine(address); });
#ifdef HOOPWATCH_HAVE_SHOP
    m_shop = new ShopFloorService(this, *m_link->fleet(), readHistorySettings(m_config).path);
    connect(m_shop, &ShopFloorService::mqttRefused, this, [this](const QString& reason) {
        showMessage(this, text(TextId::ShopMqttFailed).replace("%s", reason));
    });
#endif
    MachinesWindow::Actions actions;
    actions.send = [this](const std::vector<std::string>& addresses) { sendDesignTo(addresses); };
    actions.lever = [this](const std::vector<std::string>& addresses) {
        m_link->commandMany(MainWindowLink::Command::Lever, addresses);
    };
    actions.confirm = [this](const std::vector<std::string>& addresses) {
        m_link->commandMany(MainWindowLink::Command::ConfirmOrRelease, addresses);
    };
    actions.rename = [this](const std::string& address, const QString& name) {
        if (!cleanMachineName(name.toStdString()))
            return false;
        // A file that cannot be written is reported by the label timer, as every such write.
        MachineTable(m_config).setName(address, name.toStdString());
        machineTableChanged();
        return true;
    };
    actions.remove = [this](const std::string& address) {
        MachineTable(m_config).remove(address);
        machineTableChanged();
    };
    actions.target = [this] { return m_machineList->selectedAddress(); };
    m_machines->setActions(std::move(actions));
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this);
    connect(shortcut, &QShortcut::activated, this, &CHoopwatchDlg::openMachines);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this), &QShortcut::activated, this,
            &CHoopwatchDlg::openProduction);
    m_batch.setFileSent([this](const std::string& path, const std::string& name,
                               std::chrono::steady_clock::time_point started) {
        auto sent = m_link->batchFileSent(path, name, started);
        if (!sent)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, sent = std::move(sent)]() mutable {
                m_machines->setDesignDrawing(sent->address, sent->name, std::move(sent->design),
                                             std::move(sent->colors));
            },
            Qt::QueuedConnection);
    });
}

void CHoopwatchDlg::openMachines()
{
    m_machines->show();
    m_machines->raise();
    m_machines->activateWindow();
}

void CHoopwatchDlg::openShopFloor()
{
#ifdef HOOPWATCH_HAVE_SHOP
    if (!m_shop)
        return;
    ShopFloorDialog dialog(this, *m_shop, m_language);
    dialog.exec();
#endif
}

void CHoopwatchDlg::openMessageLog()
{
    m_log->show();
    m_log->raise();
    m_log->activateWindow();
}

ProductionWindow& CHoopwatchDlg::productionWindow()
{
    if (!m_production) {
        const HistorySettings history = readHistorySettings(m_config);
        // A shift setting that makes no sense falls back to the usual two shifts.
        const auto shifts = parseShifts(history.shifts);
        m_production = new ProductionWindow(
            this, history.path, shifts.value_or(*parseShifts(HistorySettings{}.shifts)));
        m_production->setLanguage(m_language);
    }
    return *m_production;
}

void CHoopwatchDlg::openProduction()
{
    ProductionWindow& window = productionWindow();
    window.show();
    window.raise();
    window.activateWindow();
}

void CHoopwatchDlg::chooseMachine(const std::string& address)
{
    const std::optional<std::string> wanted = canonicalAddress(address);
    const std::vector<MachineEntry> entries = MachineTable(m_config).load(MachineList::kMaxEntries);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (wanted && canonicalAddress(entries[k].address) == wanted) {
            m_machineList->choose(static_cast<int>(k));
            return;
        }
    }
}

void CHoopwatchDlg::onJog()
{
    m_link->command(MainWindowLink::Command::Jog, m_machineList->selectedAddress());
}

void CHoopwatchDlg::onLever()
{
    m_link->command(MainWindowLink::Command::Lever, m_machineList->selectedAddress());
}

void CHoopwatchDlg::onConfirm()
{
    m_link->command(MainWindowLink::Command::ConfirmOrRelease, m_machineList->selectedAddress());
}

void CHoopwatchDlg::onBatch()
{
    m_batch.run(this, &m_designPath, &m_designFileName);
}

void CHoopwatchDlg::onLanguage()
{
    CSetLanguage dialog(m_config, this);
    dialog.exec();
    applyLanguage();
}

void CHoopwatchDlg::onSearch()
{
    m_link->startSearch();
    startTimer(ListTimer, 1500, true);
    startTimer(SearchTimer, 10000, true);
    m_waitText->show();
}

void CHoopwatchDlg::onPageUp()
{
    if (m_colorPanel.pageUp())
        redraw();
}

void CHoopwatchDlg::onPageDown()
{
    if (m_colorPanel.pageDown())
        redraw();
}

void CHoopwatchDlg::onAbout()
{
    CAboutDlg dialog(m_language, this);
    dialog.exec();
}

// ---- timers --------------------------------------------------------------------------------

void CHoopwatchDlg::onListTimer()
{
    m_timers[ListTimer]->stop();
    machineTableChanged();
}

void CHoopwatchDlg::machineTableChanged()
{
    m_machineList->load();
    m_link->resumePolling();
    showMachineStates();
}

void CHoopwatchDlg::showMachineStates()
{
    if (FleetSession* fleet = m_link->fleet())
        m_machineList->setStates(fleet->monitor().machines());
}

void CHoopwatchDlg::onLabelTimer()
{
    const MachineStatus status = m_state.machineStatus.snapshot();
    const auto label = [](std::string_view t) {
        return QString::fromUtf8(t.data(), qsizetype(t.size()));
    };
    m_buttons[MainControl::Confirm]->setText(label(embroideryButtonLabel(status, m_language)));
    m_buttons[MainControl::Lever]->setText(label(leverButtonLabel(status, m_language)));
    showMachineStates();
    const bool changed = m_state.statusChanged.exchange(false);
    if (m_state.repaintRequested.load() || changed)
        redraw();
    reportConfigFailure();
}

void CHoopwatchDlg::reportConfigFailure()
{
    // Writes happen on every thread and in every dialog; the first one that failed is shown
    // here, once, so the operator learns that settings are not being kept.
    if (const auto failure = m_config.takeUnreportedFailure())
        showMessage(this, QString::fromStdString(configFailureMessage(*failure, m_language)));
}

void CHoopwatchDlg::onPaletteTimer()
{
    if (m_state.paletteReceived.load()) {
        m_timers[PaletteTimer]->stop();
        return;
    }
    m_machineList->sendPaletteQuery();
}

void CHoopwatchDlg::onProgressTimer()
{
    const std::int32_t stitch = m_state.machineStatus.snapshot().currentStitch;
    const bool offline = m_link->polledMachineOffline();
    if (stitch != m_lastDrawnStitch || offline != m_drawnOffline) {
        m_lastDrawnStitch = stitch;
        m_drawnOffline = offline;
        redraw();
    }
}

void CHoopwatchDlg::onSearchTimer()
{
    m_timers[SearchTimer]->stop();
    m_waitText->hide();
    if (MachineTable(m_config).count() != 0)
        return;
    showMessage(this, text(TextId::SearchTimeoutHead) +
                          QString::fromStdString(m_link->localAddress()) +
                          text(TextId::SearchTimeoutTail));
}
