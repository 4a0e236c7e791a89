#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

class QProcess;

// The simulated machines of `hoopwatch --demo`: one z62-sim process answering for several
// loopback addresses, ended with the window.
class DemoMachines
{
public:
    static QStringList defaultAddresses();

    DemoMachines() = default;
    ~DemoMachines();
    DemoMachines(const DemoMachines&) = delete;
    DemoMachines& operator=(const DemoMachines&) = delete;

    // Starts `simPath` for the addresses, listening on machinePort and answering to
    // replyPort; false (with `error` filled) when it cannot start.
    bool start(const QString& simPath, const QStringList& addresses, std::uint16_t machinePort,
               std::uint16_t replyPort, const QString& key, QString* error);
    void stop();

    // The arguments start() passes to the simulator.
    static QStringList simArguments(const QStringList& addresses, std::uint16_t machinePort,
                                    std::uint16_t replyPort, const QString& key);

private:
    QProcess* m_process = nullptr;
};
