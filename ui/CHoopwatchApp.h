#pragma once

#include <functional>
#include <string>

#include <QString>

#include "ui/AppOptions.h"

class CSetLanguage;
class CHoopwatchDlg;
class ConfigFile;
struct LinkSettings;

// The application object: prepares the settings file, asks for the language the first
// time, then runs the main window as a modal dialog; the process ends when it closes.
class CHoopwatchApp
{
public:
    // How the two dialogs are run; the defaults run them modally. Tests install their own.
    using LanguageRunner = std::function<void(CSetLanguage& dialog)>;
    using WindowRunner = std::function<void(CHoopwatchDlg& window)>;

    explicit CHoopwatchApp(AppOptions options);

    void setLanguageRunner(LanguageRunner runner) { m_languageRunner = std::move(runner); }
    void setWindowRunner(WindowRunner runner) { m_windowRunner = std::move(runner); }

    // The start-up steps; returns the process exit code.
    int initInstance();

    const std::string& configPath() const { return m_configPath; }
    bool languageDialogShown() const { return m_languageDialogShown; }

    // The settings file of the demo: a per-user file kept apart from the real one.
    static QString demoConfigPath();
    // Where the sample designs are, for the import dialog of the demo; empty when none.
    static QString samplesFolder();
    // Maps the drawing face "Arial" to a narrow face of this system when one is installed, so
    // the information strip keeps its width; the application calls it once at start.
    static void prepareFonts();
    // Link settings from the options (ports, key, search prefix) for a settings file.
    static LinkSettings linkSettings(const AppOptions& options, const std::string& configPath);

private:
    void prepareDemo(const ConfigFile& config, LinkSettings* settings);

    AppOptions m_options;
    std::string m_configPath;
    bool m_languageDialogShown = false;
    LanguageRunner m_languageRunner;
    WindowRunner m_windowRunner;
};
