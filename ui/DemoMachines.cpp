#include "ui/DemoMachines.h"

#include <QProcess>
#include <QProcessEnvironment>

#include "ui/ChildProcessGuard.h"

QStringList DemoMachines::defaultAddresses()
{
    return {QStringLiteral("127.0.0.101"), QStringLiteral("127.0.0.102"),
            QStringLiteral("127.0.0.103")};
}

DemoMachines::~DemoMachines()
{
    stop();
}

QStringList DemoMachines::simArguments(const QStringList& addresses, std::uint16_t machinePort,
                                       std::uint16_t replyPort)
{
    QStringList args;
    for (const QString& address : addresses)
        args << QStringLiteral("--address") << address;
    args << QStringLiteral("--port") << QString::number(machinePort)
         << QStringLiteral("--reply-port") << QString::number(replyPort);
    // Slow enough that the view visibly turns from grey to colour between status polls, and
    // different for each machine, so the fleet's rows move apart.
    args << QStringLiteral("--speeds") << QStringLiteral("30,45,60")
         << QStringLiteral("--auto-sew");
    return args;
}

bool DemoMachines::start(const QString& simPath, const QStringList& addresses,
                         std::uint16_t machinePort, std::uint16_t replyPort, const QString& key,
                         QString* error)
{
    stop();
    m_process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOOPWATCH_LOOPBACK_ONLY"), QStringLiteral("1"));
    if (key.isEmpty())
        env.remove(QStringLiteral("HOOPWATCH_KEY"));
    else
        env.insert(QStringLiteral("HOOPWATCH_KEY"), key);
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    // The simulator ends with the application even when the application is killed.
    endWithThisProcess(m_process);
    m_process->start(simPath, simArguments(addresses, machinePort, replyPort));
    if (!m_process->waitForStarted(5000)) {
        *error = QStringLiteral("cannot start %1: %2").arg(simPath, m_process->errorString());
        stop();
        return false;
    }
    adoptStartedChild(m_process);
    // A simulator that cannot bind its addresses ends at once.
    if (m_process->waitForFinished(300)) {
        *error = QStringLiteral("%1 ended at once (exit code %2)")
                     .arg(simPath)
                     .arg(m_process->exitCode());
        stop();
        return false;
    }
    return true;
}

qint64 DemoMachines::processId() const
{
    return m_process && m_process->state() != QProcess::NotRunning ? m_process->processId() : 0;
}

void DemoMachines::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(2000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    delete m_process;
    m_process = nullptr;
}
