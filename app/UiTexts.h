#pragma once

#include <string>
#include <string_view>

#include "app/ConfigFile.h"

// Every text the system shows, in Chinese and English. The language value is 0 (not chosen
// yet), 1 (Chinese) or 2 (English); only 1 selects Chinese, every other value English.
enum class TextId : int {
    // Main window: window caption, then the group boxes and buttons, named after what they are.
    WindowCaption,
    MachineListGroup,
    FunctionButtonsGroup,
    ColorSetGroup,
    DesignViewGroup,
    MachineSearchButton,
    InputDesignButton,
    ParametersButton, // design parameter dialog
    SendDesignButton, // send the current design
    LeverButton,      // start or stop work; "start work" until the timer relabels it
    JogButton,        // jog to 100 degree
    ConfirmButton,    // embroidery confirm or release; "Emb Confirm" until the timer relabels it
    LanguageButton,   // language dialog
    ColorPageUpButton,
    ColorPageDownButton,
    BatchSendingButton,
    SearchWaitText, // notice shown while a search runs
    AboutMenuItem,
    AboutCaption,
    // The message log: caption (also its menu item), copy button, the line for dropped entries
    // (one %d).
    MessageLogCaption,
    MessageLogCopy,
    MessageLogForgotten,

    // Labels the 1-second timer puts on the lever and confirm buttons by machine state.
    StartWork,
    StopWork,
    EmbConfirm,
    EmbRelease,

    // Language dialog: caption, the two check boxes, the OK button.
    LanguageCaption,
    LanguageChinese,
    LanguageEnglish,
    LanguageOk,

    // Design file dialog: filter string (also used by batch sending) and panel captions.
    FileFilter,
    FilePreviewTemplate,  // template caption of the preview check box
    FileAdvancedTemplate, // template caption of the advanced button
    FileExtractDesign,    // hidden button
    FilePreview,          // preview check box as set at run time
    FileAdvanced,         // advanced button as set at run time
    FileDesignType,       // Type column of the file dialogs, after the format ("DST ")

    // Information strip under the design view (printf templates).
    DesignInfoTemplate, // four %d: stitches, colours, height mm, width mm; two lines
    EmbStateConfirm,
    EmbStateRelease,
    CurrentNeedleTemplate, // one %d: current stitch number

    // Receiver thread: acknowledgements and failures.
    DesignSent,
    DesignParamSent,
    JogDone,
    LeverDone,
    EmbConfirmDone,
    EmbReleaseDone,
    ReceiverSocketFailed,
    // Search timeout message: head + local address + tail.
    SearchTimeoutHead,
    SearchTimeoutTail,

    // Design transfer and machine commands.
    TransferSocketFailed,
    MachineNotOnline,
    UnselectedMachine,
    NoMatchingDesign,
    DesignPathEmpty,          // no design has been imported
    DesignFileUnreadable,     // design file missing or unreadable
    DesignFileTooLarge,       // design file over 40,960,000 bytes
    DesignFileTooLargeToOpen, // import of a design file over 40,960,000 bytes
    DesignFileChanged,        // design file changed size while it was read

    // Acknowledgements of a transfer and the progress of the design a machine sews.
    TransferNotAcknowledged, // not every datagram acknowledged a few seconds after the last
    TransferAckCount,        // two %d: datagrams acknowledged, datagrams sent
    SewnPercent,             // one %d: whole percent of the design sewn
    MinutesLeft,             // one %d: whole minutes left, rounded up
    HoursMinutesLeft,        // two %d: hours and minutes left
    StripOffline,            // the polled machine stopped answering

    // Design parameter dialog.
    ParamCaption,
    ParamDirection,
    ParamAngle,
    ParamPriorityMode,
    ParamZoomPriority,
    ParamRotationPriority,
    ParamZoom,
    ParamRepeatMode,
    ParamUsuallyRepeated,
    ParamLocalRecurrence,
    ParamRepeatOrder,
    ParamXPriority,
    ParamYPriority,
    ParamRepeatCount,
    ParamRepeatSpacing,
    ParamSend,
    ParamExit,
    // A refused field: %1 its name, %2 and %3 the range, %4 what was typed.
    ParamOutOfRange,
    ParamFieldAngle,
    ParamFieldScaleX,
    ParamFieldScaleY,
    ParamFieldRepeatCountX,
    ParamFieldRepeatCountY,
    ParamFieldSpacingX,
    ParamFieldSpacingY,

    // Colour picker caption; the page position follows directly ("%d").
    PickerCaption,

    // Settings file writes that did not happen (ConfigFailure::text).
    ConfigNotRegular,  // a device, FIFO or folder
    ConfigReadOnly,    // no write permission
    ConfigTooLarge,    // over ConfigFile::kMaxFileBytes
    ConfigUnreadable,  // exists but cannot be read
    ConfigWriteFailed, // missing folder, full disk, no lock, no path

    // Cipher length complaints printed to standard output (the second has one %d).
    CipherPlainLength,
    CipherCipherLength,

    // Machines window: caption, column headers, states and the time left (one %d, minutes).
    MachinesCaption,
    MachinesAddress,
    MachinesState,
    MachinesDesign,
    MachinesDrawing,
    MachinesProgress,
    MachinesSewn,
    MachinesTimeLeft,
    MachineWaiting, // no answer yet since the start
    MachineOffline,
    MachineWorking,
    MachineStanding,
    MachineFinished,
    MinutesLeftTemplate,
    // Fleet notices (one %s, the machine's address) and the fleet file's failure.
    FleetFinishedTemplate,
    FleetOfflineTemplate,
    FleetFileFailed,
    // Shop-floor dialog: the web page and MQTT switched on from the window (%s: address or
    // reason).
    ShopCaption,
    ShopWebEnabled,
    ShopListen,
    ShopTokenFile,
    ShopDesigns,
    ShopMqttEnabled,
    ShopMqttUrl,
    ShopMqttCredentials,
    ShopOff,
    ShopWebServing,
    ShopWebFailed,
    ShopMqttStarted,
    ShopMqttFailed,

    // Machines as a group: names, the target of the commands, the state word of the main list,
    // and what the Machines window does for several machines at once.
    MachinesName,         // column header
    MachineOnline,        // answers, not sewing a design from this PC
    TargetLabel,          // over the machine the commands go to
    NoTarget,             // no machine is chosen
    MachinesSendSelected, // context menu items of the Machines window
    MachinesLeverSelected,
    MachinesConfirmSelected,
    MachinesChooseTarget,
    MachinesRename,
    MachinesRemove,
    MachineNameCaption,
    MachineNameRefused,
    MachineRemoveQuestion,   // one %s: the machine
    MultiSendMachineDone,    // after a machine's label: every part acknowledged
    MultiSendMachineMissing, // after a machine's label: not every part acknowledged
    MultiSendSummary,        // one %s, the design, then two %d: machines confirmed, machines

    // Production history: its failure, the Production window (caption, ranges, export, the
    // run table's headers, the charts' words, the summary with three %s) and its own failures.
    HistoryFailed,
    ProductionCaption,
    ProductionToday,
    ProductionThisWeek,
    ProductionRange,
    ProductionExport,
    RunStarted,
    RunEnded,
    RunStitchesSewn,
    RunSewingMinutes,
    RunStandingMinutes,
    RunStops,
    ChartUtilisation,
    ChartSewing,
    ChartNoData,
    ProductionSummaryTemplate,
    HistoryUnreadable,
    ExportFailed,
    HistoryRowsDropped,

    Count // number of texts, not a text
};

inline constexpr int kTextCount = static_cast<int>(TextId::Count);

// Z62Language/Language as a number, with the given default text.
int readLanguage(const ConfigFile& config, std::string_view def = "1");
// Only 1 is Chinese; 0, 2 and anything else give English.
bool isChinese(int language);
// The text in UTF-8 for the language.
std::string_view uiText(TextId id, int language);
// A settings file failure as one message: the text for the language, then the file's path.
std::string configFailureMessage(const ConfigFailure& failure, int language);
