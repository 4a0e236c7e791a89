#include <cstdio>

#include <QApplication>

#include "ui/AppOptions.h"
#include "ui/CHoopwatchApp.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hoopwatch"));
    CHoopwatchApp::prepareFonts();
    QStringList args = QApplication::arguments();
    args.removeFirst();
    QString error;
    const auto options = parseAppOptions(args, &error);
    if (!options) {
        std::fprintf(stderr,
                     "hoopwatch: %s\nusage: hoopwatch [--demo] [--config FILE] [--machine-port N] "
                     "[--listen-port N] [--prefix P] [--key K]\n",
                     qPrintable(error));
        return 2;
    }
    CHoopwatchApp app(*options);
    return app.initInstance();
}
