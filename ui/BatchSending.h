#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>
#include <QStringList>

#include "app/ConfigFile.h"

class QWidget;
class MainWindowLink;
struct LinkSettings;

// The file-name routine of batch sending: the text after the last backslash (or, when there
// is none, the last forward slash). A name without a dot is kept as it is.
std::string batchFileName(std::string_view path);

// The design file filter ("Desc|pattern|...||") in the form of Qt's file dialogs, each
// pattern offered in upper and lower case.
QString qtFileFilter(std::string_view windowsFilter);

// Batch sending (button 1023). The window keeps one and routes the button to run():
//     m_batch.run(this, &m_designPath, &m_designFileName);
// run() asks for several design files, then sends each, in the order the dialog returns
// them, with the core's batch transfer to the first chosen machine of the table, pausing
// kTransferPause after each file. The transfers run on a worker thread under one modal progress
// dialog whose Cancel stops the batch after the current datagram. The machine's
// acknowledgements are counted for the batch as a whole, shown in that dialog, and told once at
// the end: success when every datagram of every file is acknowledged, or one warning. Afterwards
// the design path and file name are those of the last file sent (button 1001 sends it again).
class BatchSending
{
public:
    // Returns the chosen paths; empty when the dialog was cancelled.
    using FileChooser = std::function<QStringList(QWidget* parent, const QString& filter)>;

    // `settings` must outlive the object (the window owns both).
    BatchSending(ConfigFile config, const LinkSettings& settings);

    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // Told, on the batch's worker thread, of every file whose datagrams all went out, with
    // the time its transfer began.
    using FileSent = std::function<void(const std::string& path, const std::string& name,
                                        std::chrono::steady_clock::time_point started)>;
    void setFileSent(FileSent fileSent) { m_fileSent = std::move(fileSent); }
    // The window's link, which counts the machine's acknowledgements of the whole batch and
    // tells the outcome once; without one each acknowledgement shows as it comes.
    void setLink(MainWindowLink* link) { m_link = link; }

    // Runs one batch; returns when it has ended. False when nothing was chosen or the batch
    // was cancelled before its end.
    bool run(QWidget* parent, std::string* designPath, std::string* designFileName);

    // The lists of the last batch (emptied at the start of every batch).
    const std::vector<std::string>& paths() const { return m_paths; }
    const std::vector<std::string>& names() const { return m_names; }

private:
    ConfigFile m_config;
    const LinkSettings& m_settings;
    FileChooser m_chooser;
    FileSent m_fileSent;
    MainWindowLink* m_link = nullptr;
    std::vector<std::string> m_paths;
    std::vector<std::string> m_names;
};
