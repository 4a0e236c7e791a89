#pragma once

#include <array>
#include <cstdint>
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
// Every opening starts from the same values; nothing is stored. Button 1036 sends the
// parameters and the colour-change sequence to the address given here (refused with
// "No matching design!" while no machine has reported a design); the dialog stays open.
// Exit (1), Esc, the close box and Enter in an edit close it and discard the values.
class CDesignSet : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kColorEntries = 980;

    // Copies the first colorCount numbers (at most kColorEntries) into a zero-filled buffer.
    CDesignSet(QWidget* parent, ConfigFile config, const LinkSettings& settings,
               const LinkState& state, std::string machineAddress,
               std::span<const std::int32_t> colorNumbers, int colorCount);

    int direction() const { return m_direction; }
    int priorityMode() const { return m_priorityMode; }
    int repeatMode() const { return m_repeatMode; }
    int repeatOrder() const { return m_repeatOrder; }

    // Button 1036.
    void sendParameters();

private:
    void applyTexts();
    // Widens the controls whose texts the font in use would clip.
    void fitTexts(const DialogUnits& units);
    void stepDirection();
    void toggle(int* value, QPushButton* button, int textOff, int textOn);

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
};
