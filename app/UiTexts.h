#pragma once

#include <string>
#include <string_view>

#include "app/ConfigFile.h"

// Every text the system shows, in Chinese and English. The language value is 0 (not chosen
// yet), 1 (Chinese) or 2 (English); only 1 selects Chinese, every other value English.
enum class TextId : int {
    // Main window: window caption, group boxes and buttons, named after their control ids.
    WindowCaption,
    Group1046,    // machine list
    Group1047,    // function buttons
    Group1048,    // colour set
    Group1049,    // design view
    Button1031,   // machine search
    Button1000,   // input design
    Button1005,   // parameter setting
    Button1001,   // send current design
    Button1004,   // start work, as the language step labels it
    Button1003,   // jog to 100 degree
    Button1006,   // embroidery confirm, as the language step labels it
    Button1022,   // language dialog
    Button1033,   // colour page up
    Button1034,   // colour page down
    Button1023,   // batch sending
    WaitText1054, // notice shown while a search runs
    AboutMenuItem,
    AboutCaption,

    // Labels the 1-second timer puts on buttons 1004 and 1006 by machine state.
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

    // Acknowledgements of a transfer and the progress of the design a machine sews.
    TransferNotAcknowledged, // not every datagram acknowledged a few seconds after the last
    TransferAckCount,        // two %d: datagrams acknowledged, datagrams sent
    SewnPercent,             // one %d: whole percent of the design sewn
    MinutesLeft,             // one %d: whole minutes left, rounded up
    HoursMinutesLeft,        // two %d: hours and minutes left

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
