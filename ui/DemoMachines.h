#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QtGlobal>
#include <QStringList>

class QProcess;

// The simulated machines of `hoopwatch --demo`: one z62-sim process answering for several
// loopback addresses, ended with the window. They start sewing by themselves, each at its own
// speed, once a design reaches them, so the fleet visibly moves.
class DemoMachines
{
public:
    static QStringList defaultAddresses();

    DemoMachines() = default;
    ~DemoMachines();
    DemoMachines(const DemoMachines&) = delete;
    DemoMachines& operator=(const DemoMachines&) = delete;

    // Starts `simPath` for the addresses, listening on machinePort and answering to
    // replyPort; false (with `error` filled) when it cannot start. The key goes to the
    // simulator through its environment, since every user can read a command line.
    bool start(const QString& simPath, const QStringList& addresses, std::uint16_t machinePort,
               std::uint16_t replyPort, const QString& key, QString* error);
    void stop();

    // The arguments start() passes to the simulator.
    static QStringList simArguments(const QStringList& addresses, std::uint16_t machinePort,
                                    std::uint16_t replyPort);
    // The running simulator's process id; 0 when none runs.
    qint64 processId() const;

private:
    QProcess* m_process = nullptr;
};
