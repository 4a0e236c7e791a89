#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <QObject>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"

class QCheckBox;
class QLabel;
class QWidget;
struct FleetMachine;
struct LinkSettings;
class LinkState;

// The machine check boxes 1007 to 1021 in the left area of the main window.
//
// The list creates the 15 boxes itself as children of `parent` at their template positions
// (10, 23 + 19k, 90 x 10 dialog units), named "1007" to "1021", all hidden. The window:
//   - calls load() from timer 5 (and nothing else: the list reads the table itself);
//   - asks selectedAddress() for the address of every command and of the parameter dialog;
//   - calls sendPaletteQuery() at opening and from timer 7.
// A box reads "name (address)", or the address while the machine has no name; under it a mark
// and a word tell the machine's state as the fleet monitor last saw it (setStates). The
// selected machine, which Send, Param Set and the commands go to, is drawn bold and named
// under the list (objectName "targetLabel").
//
// A click on a box makes its machine the selected one: the tick rule goes to the settings file
// at once, the other shown entries are unticked and a palette query goes to the machine. Only
// a click on the one ticked box unticks it. Hidden boxes keep their ticks and still count for
// the selected machine.
class MachineList : public QObject
{
    Q_OBJECT
public:
    static constexpr int kBoxCount = 15;
    static constexpr int kFirstBoxId = controlNumber(MainControl::FirstMachineBox);
    static_assert(kFirstBoxId + kBoxCount - 1 == controlNumber(MainControl::LastMachineBox));
    // Entries the window keeps in memory; further table entries are not loaded.
    static constexpr int kMaxEntries = 100;

    // `settings` and `state` must outlive the list (the window owns all three).
    MachineList(QWidget* parent, ConfigFile config, const LinkSettings& settings,
                const LinkState& state, const DialogUnits& units = kMainWindowUnits);

    // Timer 5: reads the table (at most kMaxEntries) and shows it.
    void load();
    // Shows the first n entries of the loaded copy (at most 15); the rest are hidden, and so
    // are the window's machine page buttons 1024 and 1030 when it has them.
    void show(int n);

    // Address of the first ticked box in id order, shown or hidden; nullopt when none.
    std::optional<std::string> selectedAddress() const;
    // The machines' states for the marks under the boxes, by address.
    void setStates(const std::vector<FleetMachine>& machines);
    // The language of the state words and the target line.
    void setLanguage(int language);
    // The palette query to the selected machine; false when nothing was sent (empty table,
    // no box ticked, no socket).
    bool sendPaletteQuery() const;

    // Chooses table entry k as a click that ticks box k does (also for entries past the
    // boxes): the file, the boxes, tickChanged and the palette query.
    void choose(int k);

    QCheckBox* box(int k) const { return m_boxes[static_cast<std::size_t>(k)]; }
    QLabel* stateLabel(int k) const { return m_states[static_cast<std::size_t>(k)]; }
    QLabel* targetLabel() const { return m_target; }
    // The window's in-memory copy, as the last load() read it.
    const std::vector<MachineEntry>& entries() const { return m_entries; }

signals:
    // After the file and the boxes have been updated by a click on box k.
    void tickChanged(int k, bool ticked);

private:
    void onBoxClicked(int k, bool ticked);
    // The bold mark of the selected box and the target line under the list.
    void showTarget();

    ConfigFile m_config;
    const LinkSettings& m_settings;
    const LinkState& m_state;
    std::array<QCheckBox*, kBoxCount> m_boxes{};
    std::array<QLabel*, kBoxCount> m_states{};
    std::array<std::string, kBoxCount> m_addresses; // the address each box stands for
    QLabel* m_target = nullptr;
    std::vector<MachineEntry> m_entries;
    int m_language = 0;
};
