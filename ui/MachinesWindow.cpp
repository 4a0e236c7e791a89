#include "ui/MachinesWindow.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "app/MachineTable.h"
#include "control/FleetSession.h"
#include "render/DesignImage.h"
#include "render/StitchRenderer.h"
#include "ui/AppIcon.h"
#include "ui/MessageBoxes.h"
#include "ui/MessageLog.h"
#include "ui/MessageQueue.h"
#include "ui/QtTexts.h"

namespace {

// Draws the share sewn as a progress bar; an unknown share leaves the cell empty.
class ProgressDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const int percent = index.data(FleetTableModel::PercentRole).toInt();
        if (percent < 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(4, option.rect.height() / 2 - 8, -4,
                                        -(option.rect.height() / 2 - 8));
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = percent;
        bar.textVisible = false;
        bar.state = option.state | QStyle::State_Horizontal;
        QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
    }
};

// "a.b.c.d" as one number, so 127.0.0.10 sorts after 127.0.0.9.
qulonglong addressValue(const std::string& address)
{
    qulonglong value = 0;
    for (const QString& part : QString::fromStdString(address).split(QLatin1Char('.')))
        value = value * 256 + part.toULongLong();
    return value;
}

int stateOrder(TextId state)
{
    switch (state) {
    case TextId::MachineWorking:
        return 0;
    case TextId::MachineStanding:
        return 1;
    case TextId::MachineFinished:
        return 2;
    case TextId::MachineOnline:
        return 3;
    case TextId::MachineWaiting:
        return 4;
    default:
        return 5; // offline last
    }
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

TextId fleetStateText(const FleetMachine& machine)
{
    if (!machine.answered)
        return TextId::MachineWaiting;
    if (!machine.online)
        return TextId::MachineOffline;
    if (machine.secondsLeft && *machine.secondsLeft == 0)
        return TextId::MachineFinished;
    if (machine.work != 0)
        return TextId::MachineWorking;
    // Standing counts only within a design sent from here; otherwise it is merely there.
    return machine.percent ? TextId::MachineStanding : TextId::MachineOnline;
}

QString fleetStateMark(TextId state)
{
    switch (state) {
    case TextId::MachineWorking:
        return QStringLiteral("\u25B6"); // ▶
    case TextId::MachineStanding:
        return QStringLiteral("\u2016"); // ‖
    case TextId::MachineFinished:
        return QStringLiteral("\u2714"); // ✔
    case TextId::MachineOnline:
        return QStringLiteral("\u25CF"); // ●
    case TextId::MachineOffline:
        return QStringLiteral("\u2716"); // ✖
    default:
        return QStringLiteral("\u2026"); // … no answer yet
    }
}

QString fleetStateColor(TextId state)
{
    switch (state) {
    case TextId::MachineWorking:
        return QStringLiteral("#1a7f1a");
    case TextId::MachineStanding:
        return QStringLiteral("#b06000");
    case TextId::MachineFinished:
        return QStringLiteral("#1f4fbf");
    case TextId::MachineOnline:
        return QStringLiteral("#1a7f1a");
    case TextId::MachineOffline:
        return QStringLiteral("#c01010");
    default:
        return QStringLiteral("#707070");
    }
}

QString timeLeftText(const std::optional<std::int64_t>& secondsLeft, int language)
{
    if (!secondsLeft || *secondsLeft <= 0)
        return {};
    const std::int64_t minutes = (*secondsLeft + 59) / 60;
    QString text = qtText(TextId::MinutesLeftTemplate, language);
    return text.replace(QStringLiteral("%d"), QString::number(minutes));
}

QString sewnText(const std::optional<double>& percent)
{
    if (!percent || !std::isfinite(*percent))
        return {};
    // Cut, so a design one stitch short of its end never reads 100 %.
    const double cut = std::floor(*percent * 10.0) / 10.0;
    return QString::number(cut, 'f', 1) + QStringLiteral(" %");
}

std::optional<QString> fleetNoticeText(const FleetEvent& event, int language)
{
    TextId id;
    if (event.kind == FleetEventKind::Finished)
        id = TextId::FleetFinishedTemplate;
    else if (event.kind == FleetEventKind::WentOffline && event.whileWorking)
        id = TextId::FleetOfflineTemplate;
    else
        return std::nullopt;
    return qtText(id, language)
        .replace(QStringLiteral("%s"), fromUtf8(machineLabel(event.address, event.name)));
}

// ---- model ---------------------------------------------------------------------------------

FleetTableModel::FleetTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void FleetTableModel::setLanguage(int language)
{
    m_language = language;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_machines.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void FleetTableModel::setTarget(std::optional<std::string> address)
{
    if (address)
        address = canonicalAddress(*address);
    if (address == m_target)
        return;
    m_target = std::move(address);
    if (!m_machines.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::FontRole});
}

void FleetTableModel::setMachines(std::vector<FleetMachine> machines,
                                  std::map<std::string, QPixmap> drawings)
{
    const bool sameRows = machines.size() == m_machines.size() &&
                          std::equal(machines.begin(), machines.end(), m_machines.begin(),
                                     [](const FleetMachine& a, const FleetMachine& b) {
                                         return a.address == b.address;
                                     });
    if (!sameRows)
        beginResetModel();
    m_machines = std::move(machines);
    m_drawings = std::move(drawings);
    if (!sameRows)
        endResetModel();
    else if (!m_machines.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

int FleetTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_machines.size());
}

int FleetTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString FleetTableModel::text(TextId id) const
{
    return qtText(id, m_language);
}

QVariant FleetTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const FleetMachine& m = m_machines[std::size_t(index.row())];
    const TextId state = fleetStateText(m);
    const double percent = m.percent.value_or(-1.0);
    if (role == PercentRole)
        return m.percent ? int(std::floor(*m.percent)) : -1;
    if (role == SortRole) {
        switch (index.column()) {
        case Address:
            return addressValue(m.address);
        case Name:
            return fromUtf8(m.name);
        case State:
            return stateOrder(state);
        case DesignName:
            return m.design ? fromUtf8(m.design->name) : QString();
        case TimeLeft:
            return qlonglong(m.secondsLeft.value_or(std::numeric_limits<std::int64_t>::max()));
        default:
            return percent;
        }
    }
    if (role == Qt::DecorationRole && index.column() == Drawing) {
        const auto found = m_drawings.find(m.address);
        return found == m_drawings.end() ? QVariant() : QVariant(found->second);
    }
    if (role == Qt::FontRole && m_target && m.address == *m_target) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::ToolTipRole && index.column() == DesignName && m.design)
        return QStringLiteral("%1 / %2").arg(m.design->stitches).arg(m.design->colors);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Address:
        return fromUtf8(m.address);
    case Name:
        return fromUtf8(m.name);
    case State:
        return text(state);
    case DesignName:
        return m.design ? fromUtf8(m.design->name) : QString();
    case Sewn:
        return sewnText(m.percent);
    case TimeLeft:
        return timeLeftText(m.secondsLeft, m_language);
    default:
        return {};
    }
}

QVariant FleetTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static constexpr TextId kHeaders[ColumnCount] = {
        TextId::MachinesAddress, TextId::MachinesName,     TextId::MachinesState,
        TextId::MachinesDesign,  TextId::MachinesDrawing,  TextId::MachinesProgress,
        TextId::MachinesSewn,    TextId::MachinesTimeLeft,
    };
    return section >= 0 && section < ColumnCount ? text(kHeaders[section]) : QVariant();
}

// ---- window --------------------------------------------------------------------------------

MachinesWindow::MachinesWindow(QWidget* parent, FleetSession& fleet, Chooser chooser)
    : QDialog(parent), m_fleet(fleet), m_chooser(std::move(chooser))
{
    setObjectName(QStringLiteral("machinesWindow"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowIcon(appIcon());
    setModal(false);

    m_model = new FleetTableModel(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(FleetTableModel::SortRole);
    m_proxy->setDynamicSortFilter(true);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("machinesTable"));
    m_view->setModel(m_proxy);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(FleetTableModel::Address, Qt::AscendingOrder);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!selectedAddresses().empty())
            contextMenu()->popup(m_view->viewport()->mapToGlobal(at));
    });
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setIconSize(QSize(kDrawingWidth, kDrawingHeight));
    m_view->verticalHeader()->setDefaultSectionSize(kDrawingHeight + 6);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setColumnWidth(FleetTableModel::Drawing, kDrawingWidth + 12);
    m_view->setColumnWidth(FleetTableModel::Progress, 140);
    m_view->setItemDelegateForColumn(FleetTableModel::Progress, new ProgressDelegate(m_view));
    connect(m_view, &QTableView::doubleClicked, this, &MachinesWindow::onDoubleClicked);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_view);
    resize(940, 420);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("machinesRefresh"));
    connect(m_timer, &QTimer::timeout, this, &MachinesWindow::refresh);
    setLanguage(0);
}

MachinesWindow::~MachinesWindow() = default;

void MachinesWindow::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(qtText(TextId::MachinesCaption, language));
    m_model->setLanguage(language);
}

void MachinesWindow::setDesignDrawing(const std::string& address, const std::string& name,
                                      Design design, std::vector<ColorRef> colors)
{
    const std::optional<std::string> canonical = canonicalAddress(address);
    if (!canonical)
        return;
    DesignDrawing fresh;
    fresh.name = cleanDesignName(name);
    fresh.colors = std::move(colors);
    // One design sent to many machines is kept once.
    std::vector<const DesignDrawing*> known;
    if (m_current)
        known.push_back(&*m_current);
    for (const auto& [other, drawing] : m_drawings)
        known.push_back(&drawing);
    for (const DesignDrawing* candidate : known) {
        const DesignDrawing& drawing = *candidate;
        const Design& kept = *drawing.design;
        if (drawing.name == fresh.name && kept.stitches.count == design.stitches.count &&
            kept.summary.stitchCount == design.summary.stitchCount &&
            kept.extents.left == design.extents.left && kept.extents.top == design.extents.top &&
            kept.extents.right == design.extents.right &&
            kept.extents.bottom == design.extents.bottom) {
            fresh.design = drawing.design;
            break;
        }
    }
    if (!fresh.design)
        fresh.design = std::make_shared<const Design>(std::move(design));
    m_drawings[*canonical] = std::move(fresh);
}

void MachinesWindow::setCurrentDesign(const std::string& name, Design design,
                                      std::vector<ColorRef> colors)
{
    DesignDrawing current;
    current.name = cleanDesignName(name);
    current.design = std::make_shared<const Design>(std::move(design));
    current.colors = std::move(colors);
    m_current = std::move(current);
}

QPixmap MachinesWindow::drawingFor(const FleetMachine& machine, std::int64_t nowMs,
                                   std::int64_t& budget)
{
    if (!machine.design)
        return {};
    auto found = m_drawings.find(machine.address);
    if (found == m_drawings.end() && m_current && m_current->name == machine.design->name &&
        sentDesignOf(m_current->name, *m_current->design).stitches == machine.design->stitches)
        found = m_drawings.emplace(machine.address, *m_current).first;
    if (found == m_drawings.end() || machine.design->name != found->second.name)
        return {};
    DesignDrawing& drawing = found->second;
    // Only the sewn part changes, and a large design takes a while to draw: at most once a
    // second per machine, and only when the stitch number has moved.
    const std::int32_t stitch = machine.percent ? std::max(0, machine.stitch) : 0;
    const bool stale = drawing.drawnStitch != stitch &&
                       (drawing.drawnStitch < 0 || nowMs - drawing.drawnAtMs >= 1000);
    const std::int64_t cost = std::max<std::int64_t>(drawing.design->stitches.count, 1);
    // A refresh draws what its budget allows (and at least one drawing); the rest keep their
    // picture until a later refresh, so the window never stalls on a fleet of large designs.
    const bool affordable = budget >= cost || budget == kDrawingBudget;
    if ((drawing.pixmap.isNull() || stale) && affordable) {
        budget -= cost;
        DesignImageOptions options;
        options.width = kDrawingWidth;
        options.height = kDrawingHeight;
        options.progress = stitch;
        options.blockColors = drawing.colors;
        // The renderer shows a design without progress in full colour; here nothing sewn yet
        // is all grey.
        const std::vector<ColorRef> grey(std::max<std::size_t>(drawing.colors.size(), 1),
                                         kProgressGrey);
        if (stitch <= 0)
            options.blockColors = grey;
        drawing.pixmap = QPixmap::fromImage(renderDesignImage(*drawing.design, options));
        drawing.drawnStitch = stitch;
        drawing.drawnAtMs = nowMs;
    }
    return drawing.pixmap;
}

void MachinesWindow::refresh()
{
    std::vector<FleetMachine> machines = m_fleet.monitor().machines();
    const std::int64_t nowMs = QDateTime::currentMSecsSinceEpoch();
    std::map<std::string, QPixmap> drawings;
    std::int64_t budget = kDrawingBudget;
    const std::size_t count = machines.size();
    // Each refresh starts one machine further on, so no row waits behind the others for long.
    for (std::size_t i = 0; i < count; ++i) {
        const FleetMachine& machine = machines[(m_drawFrom + i) % count];
        QPixmap pixmap = drawingFor(machine, nowMs, budget);
        if (!pixmap.isNull())
            drawings.emplace(machine.address, std::move(pixmap));
    }
    m_drawFrom = count == 0 ? 0 : (m_drawFrom + 1) % count;
    m_model->setMachines(std::move(machines), std::move(drawings));
    if (m_actions.target)
        m_model->setTarget(m_actions.target());
}

void MachinesWindow::showEvent(QShowEvent* event)
{
    refresh();
    m_timer->start(kRefreshMs);
    QDialog::showEvent(event);
}

void MachinesWindow::hideEvent(QHideEvent* event)
{
    m_timer->stop();
    QDialog::hideEvent(event);
}

void MachinesWindow::onDoubleClicked(const QModelIndex& index)
{
    const QModelIndex source = m_proxy->mapToSource(index);
    if (!source.isValid())
        return;
    const std::string address = m_model->machine(source.row()).address;
    if (source.column() == FleetTableModel::Name)
        renameMachine(address);
    else if (m_chooser)
        m_chooser(address);
}

std::vector<std::string> MachinesWindow::selectedAddresses() const
{
    std::vector<std::pair<int, std::string>> rows;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows()) {
        const QModelIndex source = m_proxy->mapToSource(index);
        if (source.isValid())
            rows.emplace_back(index.row(), m_model->machine(source.row()).address);
    }
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> addresses;
    for (auto& [row, address] : rows)
        addresses.push_back(std::move(address));
    return addresses;
}

QMenu* MachinesWindow::contextMenu()
{
    delete m_menu;
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("machinesMenu"));
    const std::vector<std::string> selected = selectedAddresses();
    const auto add = [&](const char* name, TextId text, auto&& run) {
        QAction* action = m_menu->addAction(qtText(text, m_language));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, std::forward<decltype(run)>(run));
        return action;
    };
    add("sendSelected", TextId::MachinesSendSelected, [this, selected] {
        if (m_actions.send)
            m_actions.send(selected);
    });
    add("leverSelected", TextId::MachinesLeverSelected, [this, selected] {
        if (m_actions.lever)
            m_actions.lever(selected);
    });
    add("confirmSelected", TextId::MachinesConfirmSelected, [this, selected] {
        if (m_actions.confirm)
            m_actions.confirm(selected);
    });
    m_menu->addSeparator();
    // The rest are about one machine: the one the menu was opened on, the first selected.
    const std::string first = selected.empty() ? std::string() : selected.front();
    for (QAction* single :
         {add("chooseTarget", TextId::MachinesChooseTarget,
              [this, first] {
                  if (m_chooser)
                      m_chooser(first);
              }),
          add("renameMachine", TextId::MachinesRename, [this, first] { renameMachine(first); }),
          add("removeMachine", TextId::MachinesRemove, [this, first] { removeMachine(first); })})
        single->setEnabled(selected.size() == 1);
    return m_menu;
}

void MachinesWindow::renameMachine(const std::string& address)
{
    if (!m_actions.rename || address.empty())
        return;
    QString current;
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (m_model->machine(row).address == address)
            current = fromUtf8(m_model->machine(row).name);
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, qtText(TextId::MachinesRename, m_language).remove(u'.'),
        qtText(TextId::MachineNameCaption, m_language) + u'\n' + fromUtf8(address),
        QLineEdit::Normal, current, &ok);
    if (!ok)
        return;
    if (!m_actions.rename(address, name))
        showMessage(this, qtText(TextId::MachineNameRefused, m_language));
    refresh();
}

void MachinesWindow::removeMachine(const std::string& address)
{
    if (!m_actions.remove || address.empty())
        return;
    std::string name;
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (m_model->machine(row).address == address)
            name = m_model->machine(row).name;
    const QString question =
        qtText(TextId::MachineRemoveQuestion, m_language)
            .replace(QStringLiteral("%s"), fromUtf8(machineLabel(address, name)));
    if (QMessageBox::question(this, qtText(TextId::MachinesCaption, m_language), question) !=
        QMessageBox::Yes)
        return;
    m_actions.remove(address);
    refresh();
}

void MachinesWindow::onFleetEvent(const FleetEvent& event)
{
    if (const std::optional<QString> text = fleetNoticeText(event, m_language))
        showNotice(*text, event.address);
}

void MachinesWindow::fleetFileFailed()
{
    if (m_fileFailureShown)
        return;
    m_fileFailureShown = true;
    showMessage(parentWidget(), qtText(TextId::FleetFileFailed, m_language));
}

void MachinesWindow::showNotice(const QString& text, const std::string& machine)
{
    if (m_noticeHook) {
        MessageLog::instance().add(text, QString::fromStdString(machine));
        m_noticeHook(text);
        return;
    }
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        // A tray message takes the keyboard from nothing; the log keeps it once it fades.
        MessageLog::instance().add(text, QString::fromStdString(machine));
        if (!m_tray) {
            m_tray = new QSystemTrayIcon(appIcon(), this);
            m_tray->show();
        }
        m_tray->showMessage(qtText(TextId::MachinesCaption, m_language), text);
        return;
    }
    // Without a tray the notice waits its turn with every other message, so it never opens
    // over another box nor leaves the keyboard with a window that a box blocks.
    MessageQueue::instance().post(parentWidget(), text, machine);
}
