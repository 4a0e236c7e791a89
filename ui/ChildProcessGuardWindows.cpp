#include "ui/ChildProcessGuard.h"

#include <QProcess>

#include <windows.h>

namespace {

// One job for the whole run. Its handle is never closed by hand: when this process ends,
// Windows closes it and ends every process in the job.
HANDLE childJob()
{
    static const HANDLE job = [] {
        HANDLE created = ::CreateJobObjectW(nullptr, nullptr);
        if (!created)
            return HANDLE(nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                  sizeof limits);
        return created;
    }();
    return job;
}

} // namespace

void endWithThisProcess(QProcess*) {}

void adoptStartedChild(QProcess* process)
{
    const HANDLE job = childJob();
    if (!job || process->processId() == 0)
        return;
    HANDLE child =
        ::OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(process->processId()));
    if (!child)
        return;
    ::AssignProcessToJobObject(job, child);
    ::CloseHandle(child);
}
