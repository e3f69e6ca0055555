#include "clirunner.h"

#include <QDeadlineTimer>

#include <csignal>

QString CliRunner::program()
{
    return QStringLiteral(LUMASERVE_CLI_PROGRAM);
}

CliRunner::Result CliRunner::run(const QStringList& arguments, int timeoutMs,
                                 const QStringList& extraEnvironment)
{
    CliRunner cli(arguments, extraEnvironment);
    cli.process().closeWriteChannel();
    return cli.finish(timeoutMs);
}

CliRunner::CliRunner(const QStringList& arguments, const QStringList& extraEnvironment)
    : m_process(std::make_unique<QProcess>())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : extraEnvironment) {
        if (entry.contains(QLatin1Char('=')))
            environment.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
        else
            environment.remove(entry);
    }
    m_process->setProcessEnvironment(environment);
    m_process->start(program(), arguments);
    m_process->waitForStarted(10000);
}

CliRunner::~CliRunner()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QByteArray CliRunner::out()
{
    m_out += m_process->readAllStandardOutput();
    return m_out;
}

QByteArray CliRunner::err()
{
    m_err += m_process->readAllStandardError();
    return m_err;
}

bool CliRunner::waitFor(bool onOut, const QByteArray& text, int timeoutMs)
{
    const auto seen = [&] { return (onOut ? out() : err()).contains(text); };
    QDeadlineTimer deadline(timeoutMs);
    while (!seen()) {
        if (deadline.hasExpired() || m_process->state() == QProcess::NotRunning)
            return seen();
        const int slice = int(qMin<qint64>(deadline.remainingTime(), 100));
        // waitForReadyRead() follows standard output only; the wait on the
        // finished state wakes on either channel's data as well.
        if (onOut)
            m_process->waitForReadyRead(slice);
        else
            m_process->waitForFinished(slice);
    }
    return true;
}

bool CliRunner::signalAndWait(int signalNumber, int timeoutMs)
{
    ::kill(pid_t(m_process->processId()), signalNumber);
    return m_process->waitForFinished(timeoutMs);
}

CliRunner::Result CliRunner::finish(int timeoutMs)
{
    Result result;
    // A program that never started has not finished either.
    result.finished = m_process->error() != QProcess::FailedToStart
                      && (m_process->state() == QProcess::NotRunning || m_process->waitForFinished(timeoutMs));
    result.exitCode = (result.finished && m_process->exitStatus() == QProcess::NormalExit)
                          ? m_process->exitCode()
                          : -1;
    result.out = out();
    result.err = err();
    return result;
}
