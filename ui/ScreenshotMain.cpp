// hoopwatch-screenshot: writes PNG pictures of the windows (main window empty and with a
// design in both languages, parameter dialog and file dialog with a preview in both
// languages, language dialog, about box, the Machines window, and three simulated machines
// named, marked and sent one design at once) for review. Runs on loopback with its own settings file in
// a temporary folder.
#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QAbstractItemView>
#include <QAction>
#include <QMenu>
#include <QTableView>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "app/ConfigFile.h"
#include "design/DesignLoader.h"
#include "control/FleetSession.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "ui/AppIcon.h"
#include "ui/CAboutDlg.h"
#include "ui/CDesignSet.h"
#include "ui/CDSFileDialog.h"
#include "ui/CHoopwatchApp.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/CSetLanguage.h"
#include "ui/ControlIds.h"
#include "ui/DemoMachines.h"
#include "ui/MachinesWindow.h"
#include "ui/MainWindowLink.h"
#include "ui/ProductionWindow.h"
#include "records/ProductionReport.h"
#include "records/ProductionSample.h"
#include "records/RecordsDatabase.h"
#include "ui/MessageBoxes.h"
#include "ui/MessageLog.h"
#include "ui/QtTexts.h"
#include "ui/QtTranslations.h"

namespace {

void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

bool save(QWidget& widget, const QString& folder, const QString& name, bool settleFirst = true)
{
    if (settleFirst)
        settle(150);
    const QString path = folder + u'/' + name;
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("HOOPWATCH_LOOPBACK_ONLY", "1");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hoopwatch"));
    CHoopwatchApp::prepareFonts();
    const QStringList args = QApplication::arguments();
    const QString folder = args.size() > 1 ? args[1] : QStringLiteral("screenshots");
    const QString samples = args.size() > 2 ? args[2] : QStringLiteral("samples");
    QDir().mkpath(folder);
    setMessageHook([](const QString& text) { std::printf("message: %s\n", qPrintable(text)); });

    // The icon as a picture too: the Windows build's .ico is made from it.
    const QString iconPath = folder + QStringLiteral("/app-icon.png");
    const bool iconSaved = appIconPixmap(256).save(iconPath);
    std::printf("%s %s\n", iconSaved ? "wrote" : "FAILED", qPrintable(iconPath));

    QTemporaryDir temp;
    const std::string configPath = (temp.path() + QStringLiteral("/ZUZiruro.ini")).toStdString();
    const ConfigFile config(configPath);
    config.writeText("Z62Language", "Language", "1");
    config.writeText("Z62_Net_Count", "count", "3");
    for (int n = 0; n < 3; ++n) {
        const std::string section = "Z62_Net_" + std::to_string(n);
        config.writeText(section, "Ip", "127.0.0." + std::to_string(101 + n));
        config.writeText(section, "IsChoose", n == 0 ? "1" : "0");
    }
    // Two of the three machines carry the operator's names.
    config.writeText("Z62_Net_0", "Name", "Left 左");
    config.writeText("Z62_Net_1", "Name", "Middle");

    LinkSettings settings;
    settings.configPath = configPath;
    settings.listenPort = 0;
    settings.machinePort = 29999;
    settings.searchPrefix = "127.0.0.";
    LinkState state;
    int failures = 0;
    const QString design = QDir(samples).absoluteFilePath(QStringLiteral("flower.dst"));
    {
        CHoopwatchDlg window(config, settings, state);
        window.show();
        settle(1800); // the machine list loads 1.5 s after opening
        failures += !save(window, folder, QStringLiteral("main-empty-zh.png"));
        window.importDesigns({design});
        failures += !save(window, folder, QStringLiteral("main-design-zh.png"));
        config.writeText("Z62Language", "Language", "2");
        window.applyLanguage();
        settle(1100);
        failures += !save(window, folder, QStringLiteral("main-design-en.png"));
        // A machine halfway through the design: grey, with the sewn part in colour.
        MachineStatus status = state.machineStatus.snapshot();
        status.currentStitch = 150;
        status.embroideryState = 1;
        status.workState = 1;
        state.machineStatus.store(status);
        settle(1100);
        failures += !save(window, folder, QStringLiteral("main-progress-en.png"));
        state.clearProgress();
        status.embroideryState = 0;
        status.workState = 0;
        status.currentStitch = 0;
        state.machineStatus.store(status);

        window.importDesigns({QDir(samples).absoluteFilePath(QStringLiteral("star.dst"))});
        failures += !save(window, folder, QStringLiteral("main-star-en.png"));

        // The Machines window: one machine halfway through a design sent from here, one
        // standing, one that has not answered.
        {
            MachinesWindow& machines = window.machinesWindow();
            FleetMonitor& fleet = machines.fleet().monitor();
            Design flower;
            loadDesign(design.toStdString(), &flower);
            summarizeDesign(&flower);
            const SentDesign sent = sentDesignOf("flower.dst", flower);
            fleet.recordSentDesign("127.0.0.101", sent);
            machines.setDesignDrawing("127.0.0.101", "flower.dst", flower,
                                      {0x0000FF, 0x00A000, 0xFF0000, 0x00C0FF});
            const auto t0 = std::chrono::steady_clock::now();
            MachineStatus sewing;
            sewing.workState = 1;
            sewing.embroideryState = 1;
            sewing.currentStitch = sent.stitches / 4;
            fleet.onStatus("127.0.0.101", sewing, 0, t0 - std::chrono::seconds(20));
            sewing.currentStitch = sent.stitches / 2;
            fleet.onStatus("127.0.0.101", sewing, 0, t0);
            fleet.onStatus("127.0.0.102", MachineStatus{}, 0, t0);
            window.openMachines();
            settle(600);
            failures += !save(machines, folder, QStringLiteral("machines-en.png"));
            machines.setLanguage(1);
            machines.refresh();
            failures += !save(machines, folder, QStringLiteral("machines-zh.png"));
            machines.setLanguage(2);
            machines.hide();
        }

        // The three demo machines answer for real: the flower goes to all three at once from
        // the Machines window, each acknowledges, and each starts sewing at its own speed.
        DemoMachines demo;
        QString demoError;
        if (demo.start(QCoreApplication::applicationDirPath() + QStringLiteral("/z62-sim"),
                       DemoMachines::defaultAddresses(), settings.machinePort,
                       window.link().listenPort(), QString::fromStdString(settings.key),
                       &demoError)) {
            window.importDesigns({design});
            MachinesWindow& machines = window.machinesWindow();
            window.openMachines();
            settle(1500);
            machines.table()->selectAll();
            failures += !save(machines, folder, QStringLiteral("machines-selected-en.png"));
            QTimer::singleShot(350, [&] {
                if (auto* progress = window.findChild<QWidget*>(QStringLiteral("sendManyProgress")))
                    failures += !save(*progress, folder, QStringLiteral("send-many-en.png"), false);
            });
            if (QAction* send =
                    machines.contextMenu()->findChild<QAction*>(QStringLiteral("sendSelected")))
                send->trigger();
            machines.table()->clearSelection();
            settle(4000);
            failures += !save(machines, folder, QStringLiteral("machines-group-en.png"));
            machines.hide();
            settle(1100);
            failures += !save(window, folder, QStringLiteral("main-group-en.png"));
            demo.stop();
        } else {
            std::printf("FAILED demo machines: %s\n", qPrintable(demoError));
            ++failures;
        }

        // The Production window over a day of three machines' work, recorded beforehand.
        {
            RecordsDatabase history;
            if (history.open(RecordsDatabase::pathBeside(configPath),
                             RecordsDatabase::Mode::ReadWrite) == RecordsFault::None) {
                ProductionRecorder recorder(
                    [&](std::vector<EventRow> events, std::vector<RunRow> runs) {
                        history.append(events, runs);
                    });
                const std::int64_t now = wallClockMillis();
                feedProductionSample(recorder, {3, "127.0.0.", std::max(localDayStart(now),
                                                                        now - std::int64_t{14 * 3600000}),
                                                now, 7});
            }
            window.openProduction();
            ProductionWindow& production = window.productionWindow();
            settle(600);
            failures += !save(production, folder, QStringLiteral("production-en.png"));
            production.setLanguage(1);
            failures += !save(production, folder, QStringLiteral("production-zh.png"));
            production.setLanguage(2);
            production.hide();
        }

        // The send's progress dialog, caught while the transfer runs.
        QTimer::singleShot(300, [&] {
            if (auto* progress = window.findChild<QWidget*>(QStringLiteral("sendProgress")))
                failures += !save(*progress, folder, QStringLiteral("send-progress-en.png"));
        });
        window.findChild<QPushButton*>(controlName(MainControl::SendDesign))->click();

        CAboutDlg about(2, &window);
        about.show();
        failures += !save(about, folder, QStringLiteral("about-en.png"));

        // The message log, with the run's messages so far and one more from a machine.
        MessageLog::instance().add(qtText(TextId::LeverDone, 2), QStringLiteral("127.0.0.102"));
        window.openMessageLog();
        settle(300);
        failures += !save(window.messageLog(), folder, QStringLiteral("message-log-en.png"));
        window.messageLog().hide();

        const std::int32_t numbers[3] = {1, 2, 3};
        for (const char* value : {"2", "1"}) {
            config.writeText("Z62Language", "Language", value);
            CDesignSet parameters(&window, config, settings, state, "127.0.0.101", numbers, 3);
            parameters.show();
            failures +=
                !save(parameters, folder,
                      QStringLiteral("param-%1.png")
                          .arg(value[0] == '1' ? QStringLiteral("zh") : QStringLiteral("en")));
        }
        config.writeText("Z62Language", "Language", "2");
        window.done(0);
    }
    {
        CHoopwatchDlg window(config, settings, state);
        window.show();
        settle(1800);
        failures += !save(window, folder, QStringLiteral("main-empty-en.png"));
        window.done(0);
    }
    for (const char* value : {"0", "2"}) {
        config.writeText("Z62Language", "Language", value);
        CSetLanguage dialog(config);
        dialog.show();
        failures += !save(dialog, folder,
                          QStringLiteral("language-%1.png").arg(QString::fromLatin1(value)));
    }
    for (int language : {1, 2}) {
        applyQtLanguage(language);
        CDSFileDialog dialog(nullptr);
        dialog.setDirectory(samples);
        dialog.show();
        settle(300);
        // Selected the way a click selects it.
        if (auto* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"))) {
            const auto* model = qobject_cast<QFileSystemModel*>(view->model());
            if (model)
                view->selectionModel()->setCurrentIndex(model->index(design),
                                                        QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
        }
        settle(300);
        // The preview holds its design for one paint after a selection change: load it once
        // more and grab before anything else repaints the panel.
        dialog.previewPath(design);
        failures += !save(dialog, folder,
                          language == 1 ? QStringLiteral("file-dialog-zh.png")
                                        : QStringLiteral("file-dialog-en.png"),
                          false);
    }
    return failures == 0 ? 0 : 1;
}
