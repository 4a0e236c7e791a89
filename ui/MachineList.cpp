#include "ui/MachineList.h"

#include <algorithm>

#include <QCheckBox>
#include <QLabel>
#include <QWidget>

#include "control/FleetMonitor.h"
#include "control/FleetStore.h"

#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/MachineCommands.h"
#include "ui/MachinesWindow.h"
#include "ui/QtTexts.h"

MachineList::MachineList(QWidget* parent, ConfigFile config, const LinkSettings& settings,
                         const LinkState& state, const DialogUnits& units)
    : QObject(parent), m_config(std::move(config)), m_settings(settings), m_state(state)
{
    for (int k = 0; k < kBoxCount; ++k) {
        auto* box =
            placeControl(new QCheckBox(parent), kFirstBoxId + k, units, 10, 23 + 19 * k, 90, 10);
        box->hide();
        // clicked, not toggled: only the operator's clicks are tick changes.
        connect(box, &QCheckBox::clicked, this,
                [this, k](bool ticked) { onBoxClicked(k, ticked); });
        m_boxes[static_cast<std::size_t>(k)] = box;
        // The state line sits under the box, inside its row.
        auto* stateLine = new QLabel(parent);
        stateLine->setObjectName(QStringLiteral("machineState%1").arg(k));
        stateLine->setGeometry(units.rect(20, 23 + 19 * k + 9, 80, 9));
        stateLine->hide();
        m_states[static_cast<std::size_t>(k)] = stateLine;
    }
    m_target = new QLabel(parent);
    m_target->setObjectName(QStringLiteral("targetLabel"));
    m_target->setGeometry(units.rect(10, 308, 90, 28));
    m_target->setWordWrap(true);
    m_target->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    showTarget();
}

void MachineList::load()
{
    m_entries = MachineTable(m_config).load(kMaxEntries);
    show(static_cast<int>(m_entries.size()));
}

void MachineList::show(int n)
{
    for (QCheckBox* box : m_boxes) {
        box->hide();
    }
    for (QLabel* state : m_states)
        state->hide();
    const int shown = std::min({n, kBoxCount, static_cast<int>(m_entries.size())});
    for (int k = 0; k < shown; ++k) {
        const MachineEntry& entry = m_entries[static_cast<std::size_t>(k)];
        QCheckBox* box = m_boxes[static_cast<std::size_t>(k)];
        box->show();
        box->setText(QString::fromStdString(machineLabel(entry.address, entry.name)));
        box->setToolTip(box->text());
        box->setChecked(entry.ticked);
        m_addresses[static_cast<std::size_t>(k)] = entry.address;
        m_states[static_cast<std::size_t>(k)]->show();
    }
    showTarget();
    // The machine page buttons of the window have no command and stay hidden.
    if (auto* window = qobject_cast<QWidget*>(parent())) {
        for (MainControl id : {MainControl::MachinePageUp, MainControl::MachinePageDown}) {
            if (auto* button =
                    window->findChild<QWidget*>(controlName(id), Qt::FindDirectChildrenOnly)) {
                button->hide();
            }
        }
    }
}

std::optional<std::string> MachineList::selectedAddress() const
{
    for (int k = 0; k < kBoxCount; ++k) {
        if (m_boxes[static_cast<std::size_t>(k)]->isChecked())
            return m_addresses[static_cast<std::size_t>(k)];
    }
    return std::nullopt;
}

void MachineList::setLanguage(int language)
{
    m_language = language;
    showTarget();
}

void MachineList::setStates(const std::vector<FleetMachine>& machines)
{
    for (int k = 0; k < kBoxCount; ++k) {
        QLabel* label = m_states[static_cast<std::size_t>(k)];
        const std::optional<std::string> address =
            canonicalAddress(m_addresses[static_cast<std::size_t>(k)]);
        const auto found = std::find_if(machines.begin(), machines.end(), [&](const auto& m) {
            return address && m.address == *address;
        });
        QString text;
        QString color;
        if (found != machines.end()) {
            const TextId state = fleetStateText(*found);
            text = fleetStateMark(state) + u' ' + qtText(state, m_language);
            color = QStringLiteral("color: %1").arg(fleetStateColor(state));
        }
        // Only a change is drawn: the window repaints nothing while nothing changes.
        if (label->text() != text)
            label->setText(text);
        if (label->styleSheet() != color)
            label->setStyleSheet(color);
    }
}

void MachineList::showTarget()
{
    const std::optional<std::string> target = selectedAddress();
    int targetBox = -1;
    for (int k = 0; k < kBoxCount && target; ++k) {
        if (m_boxes[static_cast<std::size_t>(k)]->isChecked()) {
            targetBox = k;
            break;
        }
    }
    for (int k = 0; k < kBoxCount; ++k) {
        QCheckBox* box = m_boxes[static_cast<std::size_t>(k)];
        QFont font = box->font();
        font.setBold(k == targetBox);
        box->setFont(font);
    }
    QString text = qtText(TextId::TargetLabel, m_language) + u'\n';
    if (!target) {
        text += qtText(TextId::NoTarget, m_language);
    } else {
        std::string name;
        for (const MachineEntry& entry : m_entries)
            if (entry.address == *target)
                name = entry.name;
        text += QStringLiteral("\u25B6 ") + QString::fromStdString(machineLabel(*target, name));
    }
    m_target->setText(text);
}

bool MachineList::sendPaletteQuery() const
{
    const CommandTarget target{MachineTable(m_config).count(), selectedAddress()};
    return ::sendPaletteQuery(target, m_state.currentDesignId.load(), m_settings);
}

void MachineList::choose(int k)
{
    if (k < 0)
        return;
    if (k < kBoxCount)
        m_boxes[static_cast<std::size_t>(k)]->setChecked(true);
    onBoxClicked(k, true);
}

void MachineList::onBoxClicked(int k, bool ticked)
{
    // While several boxes are ticked (as after a search), a click on a ticked box chooses its
    // machine instead of unticking it: the operator means that machine.
    if (!ticked) {
        for (int i = 0; i < kBoxCount; ++i) {
            const QCheckBox* other = m_boxes[static_cast<std::size_t>(i)];
            if (i != k && !other->isHidden() && other->isChecked()) {
                ticked = true;
                m_boxes[static_cast<std::size_t>(k)]->setChecked(true);
                break;
            }
        }
    }
    const MachineTable table(m_config);
    table.tick(k, ticked);
    if (ticked) {
        const int count = table.count();
        for (int i = 0; i < kBoxCount && i < count; ++i) {
            if (i != k) {
                m_boxes[static_cast<std::size_t>(i)]->setChecked(false);
            }
        }
    }
    showTarget();
    emit tickChanged(k, ticked);
    sendPaletteQuery();
}
