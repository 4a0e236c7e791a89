#pragma once

#include <type_traits>

#include <QString>

// The numeric identifiers of the windows' controls, one enumeration per window. Each control's
// objectName is its number, which tests and tools use to find it; code uses the names. Numbers
// repeat across windows, never within one.

// The main window, CHoopwatchDlg.
enum class MainControl : int {
    InputDesign = 1000,
    SendDesign = 1001,
    Jog = 1003,
    Lever = 1004, // start or stop work
    Parameters = 1005,
    Confirm = 1006,         // embroidery confirm or release
    FirstMachineBox = 1007, // the 15 machine check boxes are 1007 to 1021
    LastMachineBox = 1021,
    Language = 1022,
    BatchSending = 1023,
    MachinePageUp = 1024, // hidden, like its partner
    MachinePageDown = 1030,
    MachineSearch = 1031,
    ColorPageUp = 1033,
    ColorPageDown = 1034,
    DesignFrame = 1037, // invisible; its size is that of the design area
    MachineListGroup = 1046,
    FunctionButtonsGroup = 1047,
    ColorSetGroup = 1048,
    DesignViewGroup = 1049,
    SearchWaitText = 1054,
};

// The design parameter dialog, CDesignSet.
enum class ParamControl : int {
    Exit = 1,
    Direction = 1000,
    Angle = 1026,
    PriorityMode = 1027,
    RepeatMode = 1030,
    RepeatOrder = 1031,
    RepeatCountX = 1032,
    RepeatCountY = 1033,
    RepeatSpacingX = 1034,
    RepeatSpacingY = 1035,
    Send = 1036,
    ScaleX = 1037,
    ScaleY = 1038,
    DirectionLabel = 1046,
    AngleLabel = 1047,
    PriorityModeLabel = 1048,
    ZoomLabel = 1049,
    RepeatModeLabel = 1050,
    RepeatOrderLabel = 1051,
    RepeatCountLabel = 1052,
    RepeatSpacingLabel = 1053,
};

// The language dialog, CSetLanguage.
enum class LanguageControl : int {
    Chinese = 1044,
    English = 1045,
    Ok = 1055,
};

// The design file dialog, CDSFileDialog: its preview panel and the controls beside the panel.
enum class FileDialogControl : int {
    PreviewPanel = 129,
    PreviewBox = 130,
    PreviewMeasure = 131, // invisible; its size is that of the preview area
    Advanced = 132,
    ExtractDesign = 133, // hidden
};

// The about box, CAboutDlg.
enum class AboutControl : int {
    Ok = 1,
    Icon = 1100,
    Name = 1101,
    Note = 1102,
};

template <typename Control> constexpr int controlNumber(Control id)
{
    static_assert(std::is_enum_v<Control>, "a control is named by its enumeration");
    return static_cast<int>(id);
}

// The objectName of the control: its number.
template <typename Control> QString controlName(Control id)
{
    return QString::number(controlNumber(id));
}
