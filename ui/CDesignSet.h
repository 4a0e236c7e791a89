#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <QDialog>

#include "app/ConfigFile.h"

class QLineEdit;
class QPushButton;
struct DialogUnits;
struct LinkSettings;
class LinkState;

// The modal design parameter dialog (template 131), opened by the main window's button 1005
// for the selected machine:
//     CDesignSet dialog(this, config, settings, state, *address,
//                       colorPanel.colorNumbers(), colorPanel.colorCount());
//     dialog.exec();
// The dialog starts from the defaults, or from the values last sent when the window hands them
// over (setValues). Button 1036, and Enter in an edit, send the parameters and the colour-change
// sequence to the address given here: refused with a message naming the field and its range
// when an edit holds no whole number within it, and with "No matching design!" while no machine
// has reported a design; the dialog stays open. Exit (1), Esc and the close box close it.
class CDesignSet : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kColorEntries = 980;
    static constexpr int kEditCount = 7;

    // What the operator set: the four modes and the seven edits (angle, scale X and Y, repeat
    // count X and Y, repeat spacing X and Y) as numbers.
    struct Values
    {
        int direction = 0;
        int priorityMode = 0;
        int repeatOrder = 0;
        int repeatMode = 0;
        std::array<int, kEditCount> edits{0, 100, 100, 1, 1, 0, 0};
        bool operator==(const Values&) const = default;
    };

    // Copies the first colorCount numbers (at most kColorEntries) into a zero-filled buffer.
    CDesignSet(QWidget* parent, ConfigFile config, const LinkSettings& settings,
               const LinkState& state, std::string machineAddress,
               std::span<const std::int32_t> colorNumbers, int colorCount);

    int direction() const { return m_direction; }
    int priorityMode() const { return m_priorityMode; }
    int repeatMode() const { return m_repeatMode; }
    int repeatOrder() const { return m_repeatOrder; }

    // Shows `values` instead of the defaults.
    void setValues(const Values& values);
    // The values of the last send the dialog made (not necessarily acknowledged), if any.
    const std::optional<Values>& lastSent() const { return m_lastSent; }

    // Button 1036. False when a field was refused or the send was.
    bool sendParameters();

private:
    void applyTexts();
    // Widens the controls whose texts the font in use would clip.
    void fitTexts(const DialogUnits& units);
    void stepDirection();
    void toggle(int* value, QPushButton* button, int textOff, int textOn);
    void showModes();
    // The edits as numbers; a message naming the first field outside its range otherwise.
    std::optional<Values> readValues();

    ConfigFile m_config;
    const LinkSettings& m_settings;
    const LinkState& m_state;
    std::string m_machineAddress;
    std::array<std::int32_t, kColorEntries> m_colorNumbers{};
    int m_colorCount = 0;
    int m_language = 1;

    int m_direction = 0;
    int m_priorityMode = 0;
    int m_repeatOrder = 0;
    int m_repeatMode = 0;

    QPushButton* m_directionButton = nullptr;
    QPushButton* m_priorityButton = nullptr;
    QPushButton* m_repeatModeButton = nullptr;
    QPushButton* m_repeatOrderButton = nullptr;
    std::optional<Values> m_lastSent;
};
