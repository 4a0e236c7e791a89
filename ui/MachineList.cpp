#include "ui/MachineList.h"

#include <algorithm>

#include <QCheckBox>
#include <QWidget>

#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/MachineCommands.h"

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
    }
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
    const int shown = std::min({n, kBoxCount, static_cast<int>(m_entries.size())});
    for (int k = 0; k < shown; ++k) {
        const MachineEntry& entry = m_entries[static_cast<std::size_t>(k)];
        QCheckBox* box = m_boxes[static_cast<std::size_t>(k)];
        box->show();
        box->setText(QString::fromStdString(entry.address));
        box->setChecked(entry.ticked);
    }
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
    for (const QCheckBox* box : m_boxes) {
        if (box->isChecked()) {
            return box->text().toStdString();
        }
    }
    return std::nullopt;
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
    emit tickChanged(k, ticked);
    sendPaletteQuery();
}
