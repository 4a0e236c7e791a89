#include "ui/TransferProgressDialog.h"

#include <atomic>
#include <thread>

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QProgressDialog>

bool runWithProgress(QProgressDialog& dialog, const ProgressJob& job,
                     const std::function<void()>& update)
{
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);

    QPointer<QProgressDialog> guard(&dialog);
    // One queued update at a time: reports that come faster than the UI thread share it.
    std::atomic<bool> pending{false};
    std::jthread worker([&, guard](std::stop_token stop) {
        const ProgressReport report = [&, guard] {
            if (pending.exchange(true))
                return;
            QMetaObject::invokeMethod(
                guard.data(),
                [&, guard] {
                    pending = false;
                    if (guard)
                        update();
                },
                Qt::QueuedConnection);
        };
        job(stop, report);
        QMetaObject::invokeMethod(
            guard.data(),
            [guard] {
                if (guard)
                    guard->done(QDialog::Accepted);
            },
            Qt::QueuedConnection);
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog,
                     [&worker] { worker.request_stop(); });
    dialog.exec();
    worker.request_stop();
    worker.join();
    // Calls still queued refer to this frame; the final update below covers them.
    QCoreApplication::removePostedEvents(&dialog, QEvent::MetaCall);
    update();
    return !dialog.wasCanceled();
}
