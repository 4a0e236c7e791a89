#include "ui/CHoopwatchApp.h"

#include <cstdio>
#include <random>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QStandardPaths>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "app/UiTexts.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/CSetLanguage.h"
#include "ui/DemoMachines.h"

#ifndef HOOPWATCH_SOURCE_SAMPLES
#define HOOPWATCH_SOURCE_SAMPLES ""
#endif

CHoopwatchApp::CHoopwatchApp(AppOptions options) : m_options(std::move(options)) {}

QString CHoopwatchApp::demoConfigPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    return base + QStringLiteral("/hoopwatch/demo/ZUZiruro.ini");
}

QString CHoopwatchApp::samplesFolder()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        exeDir + QStringLiteral("/../share/hoopwatch/samples"),
        exeDir + QStringLiteral("/../../samples"),
        QStringLiteral(HOOPWATCH_SOURCE_SAMPLES),
    };
    for (const QString& candidate : candidates) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir())
            return QDir(candidate).canonicalPath();
    }
    return {};
}

void CHoopwatchApp::prepareFonts()
{
    const QStringList narrow = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("DejaVu Sans Condensed")};
    const QStringList families = QFontDatabase::families();
    QStringList present;
    for (const QString& family : narrow)
        if (families.contains(family))
            present << family;
    if (!present.isEmpty() && !families.contains(QStringLiteral("Arial")))
        QFont::insertSubstitutions(QStringLiteral("Arial"), present);
}

LinkSettings CHoopwatchApp::linkSettings(const AppOptions& options, const std::string& configPath)
{
    LinkSettings settings;
    settings.configPath = configPath;
    if (options.machinePort)
        settings.machinePort = static_cast<std::uint16_t>(*options.machinePort);
    if (options.listenPort)
        settings.listenPort = static_cast<std::uint16_t>(*options.listenPort);
    if (options.key)
        settings.key = options.key->toStdString();
    if (options.prefix)
        settings.searchPrefix = options.prefix->toStdString();
    return settings;
}

void CHoopwatchApp::prepareDemo(const ConfigFile& config, LinkSettings* settings)
{
    // A new demo file speaks English; every demo starts with an empty table, so the
    // machines are found again by the search at opening.
    const bool fresh = !config.exists();
    writeStartupDefaults(config);
    if (fresh)
        config.writeText("Z62Language", "Language", "2");
    MachineTable(config).reset();

    std::mt19937 random(static_cast<unsigned>(QCoreApplication::applicationPid()) ^
                        std::random_device{}());
    const auto base = static_cast<std::uint16_t>(20000 + 2 * (random() % 4000));
    if (!m_options.machinePort)
        settings->machinePort = base;
    if (!m_options.listenPort)
        settings->listenPort = static_cast<std::uint16_t>(base + 1);
    if (!m_options.prefix)
        settings->searchPrefix = "127.0.0.";
}

int CHoopwatchApp::initInstance()
{
    if (m_options.demo)
        qputenv("HOOPWATCH_LOOPBACK_ONLY", "1");

    if (m_options.demo && !m_options.configPath) {
        const QString path = demoConfigPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        m_configPath = path.toStdString();
    } else {
        std::optional<std::string> explicitPath;
        if (m_options.configPath)
            explicitPath = m_options.configPath->toStdString();
        m_configPath = resolveConfigPath(explicitPath);
    }
    const ConfigFile config(m_configPath);
    LinkSettings settings = linkSettings(m_options, m_configPath);

    DemoMachines demo;
    if (m_options.demo) {
        QString error;
        prepareDemo(config, &settings);
        const QString sim = QCoreApplication::applicationDirPath() + QStringLiteral("/z62-sim");
        if (!demo.start(sim, DemoMachines::defaultAddresses(), settings.machinePort,
                        settings.listenPort, QString::fromStdString(settings.key), &error))
            std::fprintf(stderr, "hoopwatch: demo machines: %s\n", qPrintable(error));
    }

    writeStartupDefaults(config);
    if (readLanguage(config, "1") == 0) {
        m_languageDialogShown = true;
        CSetLanguage dialog(config);
        if (m_languageRunner)
            m_languageRunner(dialog);
        else
            dialog.exec();
    }

    LinkState state;
    {
        CHoopwatchDlg window(config, settings, state);
        if (m_options.demo)
            window.setDesignFolder(samplesFolder());
        if (!m_options.files.isEmpty()) {
            QStringList refused;
            window.importDesigns(CHoopwatchDlg::designFilesAmong(m_options.files, &refused));
            for (const QString& path : refused)
                std::fprintf(stderr, "hoopwatch: %s: not a readable DST, DSB, TBF or DSR file\n",
                             qPrintable(path));
        }
        if (m_windowRunner)
            m_windowRunner(window);
        else
            window.exec();
    }
    demo.stop();
    return 0;
}
