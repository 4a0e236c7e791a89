#pragma once

class QProcess;

// Makes a child process end with this one, even when this one is killed: a parent-death
// signal on Linux, a kill-on-close job object on Windows.
// Call before start() (POSIX sets it up in the child) ...
void endWithThisProcess(QProcess* process);
// ... and after start() (Windows adds the running child to the job).
void adoptStartedChild(QProcess* process);
