#pragma once

#include <functional>
#include <stop_token>

class QProgressDialog;

// Reports from the worker: each call asks the UI thread to run the update once.
using ProgressReport = std::function<void()>;
using ProgressJob = std::function<void(std::stop_token stop, const ProgressReport& report)>;

// Runs `job` on a worker thread while `dialog` is shown modally, and returns once the job has
// ended. The dialog's Cancel asks the job to stop. `update` runs on the UI thread after the
// job's reports (several reports may share one run) and once more at the end, so it sees
// everything the job left behind. The job shares its progress with `update` through values of
// its own that are safe across threads. True when the dialog was not cancelled.
bool runWithProgress(QProgressDialog& dialog, const ProgressJob& job,
                     const std::function<void()>& update);
