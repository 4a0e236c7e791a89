#include <memory>
#include <string>

#include <QGuiApplication>

#include "app/Console.h"
#include "cli/CliOptions.h"
#include "cli/RenderCommand.h"
#include "cli/ReportCommand.h"
#include "render/QPainterChartCanvas.h"

// hoopwatch-render FILE -o OUT.png [options]: what `hoopwatch-cli render` hands over to; and
// hoopwatch-render report --config FILE [options]: `hoopwatch-cli report --chart OUT.png`.
int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "report") {
        std::vector<std::string> all = console::utf8Arguments(argc, argv);
        ArgList args({all.begin() + 2, all.end()});
        GlobalOptions global;
        global.configPath = args.take("--config");
        return runReport(global, std::move(args),
                         [](const std::string& path, const ProductionReport& report,
                            std::int64_t from, std::int64_t to) {
                             // Text needs a GUI application's fonts; off-screen suffices.
                             if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                                 qputenv("QT_QPA_PLATFORM", "offscreen");
                             static int appArgc = 1;
                             static char name[] = "hoopwatch-render";
                             static char* appArgv[] = {name, nullptr};
                             QGuiApplication app(appArgc, appArgv);
                             return writeReportChartPng(path, report, from, to);
                         });
    }
    return runRender(ArgList(console::utf8Arguments(argc, argv)));
}
