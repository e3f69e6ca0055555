#include "unitcommand.h"

UnitCommand::UnitCommand(const QString& command, QObject* parent) : QObject(parent), m_command(command)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(TimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        const QString uid = m_uid;
        stopRunning();
        emit failed(uid, QStringLiteral("the unit command gave no unit within %1 s").arg(TimeoutMs / 1000));
    });
}

UnitCommand::~UnitCommand()
{
    stopRunning();
}

bool UnitCommand::check(const QString& command, QString* error)
{
    if (QProcess::splitCommand(command).isEmpty()) {
        *error = QStringLiteral("the unit command names nothing to run");
        return false;
    }
    return true;
}

QString UnitCommand::unitFrom(const QByteArray& output)
{
    QString line = QString::fromUtf8(output).section(QLatin1Char('\n'), 0, 0).trimmed();
    // Kept as a plain text: no control characters into the records or a CSV.
    QString unit;
    for (const QChar c : qAsConst(line)) {
        if (c.isPrint())
            unit += c;
    }
    return unit.left(MaxUnitLength);
}

void UnitCommand::stopRunning()
{
    m_timeout.stop();
    if (!m_process)
        return;
    m_process->disconnect(this);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
    m_process->deleteLater();
    m_process = nullptr;
    m_uid.clear();
}

void UnitCommand::run(const QString& uid)
{
    stopRunning();
    const QStringList words = QProcess::splitCommand(m_command);
    if (words.isEmpty()) {
        emit failed(uid, QStringLiteral("the unit command names nothing to run"));
        return;
    }
    m_uid = uid;
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        const QString runFor = m_uid;
        const QString why = m_process->errorString();
        stopRunning();
        emit failed(runFor, QStringLiteral("the unit command cannot be started: %1").arg(why));
    });
    connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus status) {
                const QString runFor = m_uid;
                const QByteArray output = m_process->readAllStandardOutput();
                stopRunning();
                if (status != QProcess::NormalExit || exitCode != 0) {
                    emit failed(runFor, QStringLiteral("the unit command failed (exit code %1)").arg(exitCode));
                    return;
                }
                const QString unit = unitFrom(output);
                if (unit.isEmpty())
                    emit failed(runFor, QStringLiteral("the unit command printed no unit"));
                else
                    emit unitFound(runFor, unit);
            });
    // A command that prints without end must not fill the memory meanwhile.
    connect(m_process, &QProcess::readyReadStandardOutput, this, [this] {
        if (m_process->bytesAvailable() <= MaxOutputBytes)
            return;
        const QString runFor = m_uid;
        stopRunning();
        emit failed(runFor, QStringLiteral("the unit command printed more than %1 bytes").arg(MaxOutputBytes));
    });
    m_timeout.start();
    m_process->start(words.first(), words.mid(1));
}
