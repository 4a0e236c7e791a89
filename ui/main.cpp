#include <cstdio>
#include <cstring>

#include <QApplication>

#include "ui/AppOptions.h"
#include "ui/CHoopwatchApp.h"
#include "ui/LayoutReport.h"

namespace {

const char* const kUsage =
    "usage: hoopwatch [--demo] [--config FILE] [--machine-port N] [--listen-port N] [--prefix P]\n"
    "                 [--key K] [--] [DESIGN...]\n"
    "  DESIGN...         DST, DSB, TBF or DSR files imported as Input Design does, the last\n"
    "                    one current; a file that cannot be read is named on stderr and left out\n"
    "  --demo            three simulated machines on 127.0.0.101-103, found by a search over\n"
    "                    127.0.0., with a settings file of their own; loopback only\n"
    "  --config FILE     settings file (default: HOOPWATCH_CONFIG, else ZUZiruro.ini beside\n"
    "                    the program, else the per-user configuration folder)\n"
    "  --machine-port N  machines' UDP port (default 8040)\n"
    "  --listen-port N   local UDP port for the machines' answers (default 8040)\n"
    "  --prefix P        search prefix instead of this PC's /24 subnet, e.g. 127.0.0.\n"
    "  --key K           16-character cipher key\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before the application object exists, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hoopwatch"));
    CHoopwatchApp::prepareFonts();
    installLayoutReport(qEnvironmentVariable("HOOPWATCH_LAYOUT_FILE"));
    QStringList args = QApplication::arguments();
    args.removeFirst();
    QString error;
    const auto options = parseAppOptions(args, &error);
    if (!options) {
        std::fprintf(stderr, "hoopwatch: %s\n%s", qPrintable(error), kUsage);
        return 2;
    }
    CHoopwatchApp app(*options);
    return app.initInstance();
}
