#include "ui/ChildProcessGuard.h"

#include <csignal>

#include <sys/prctl.h>

#include <QProcess>

void endWithThisProcess(QProcess* process)
{
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void adoptStartedChild(QProcess*) {}
