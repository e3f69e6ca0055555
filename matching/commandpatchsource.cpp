#include "commandpatchsource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("CommandPatchSource", text);
}

bool refuse(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// How often a running command is looked at for a cancel: the thread has no
// event loop, so the process is waited on in slices this short.
constexpr int kSliceMs = 10;
// How long a killed command is given to go.
constexpr int kReapMs = 2000;

// The last line the command wrote to its error output, kept short: what a
// failing generator says about itself is the most useful part of the message.
QString lastErrorLine(QProcess& process)
{
    const QStringList lines =
        QString::fromLocal8Bit(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.isEmpty())
            return line.left(200);
    }
    return QString();
}

} // namespace

CommandPatchSource::CommandPatchSource(QString command, int settleMs)
    : m_command(std::move(command)), m_settleMs(settleMs)
{
}

QStringList CommandPatchSource::commandLine(const QString& command, const MatchingPatch& patch, QString* error)
{
    QStringList words;
    QString word;
    // A pair of quotes makes a word even when nothing stands between them.
    bool inWord = false;
    bool quoted = false;
    for (int i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            inWord = true;
            continue;
        }
        if (!quoted && (c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('%') && i + 1 < command.size()) {
            const QChar next = command.at(i + 1);
            if (next == QLatin1Char('r') || next == QLatin1Char('g') || next == QLatin1Char('b')) {
                const int level = next == QLatin1Char('r') ? patch.r : next == QLatin1Char('g') ? patch.g : patch.b;
                word += QString::number(level);
                ++i;
                continue;
            }
            if (next == QLatin1Char('%')) {
                word += QLatin1Char('%');
                ++i;
                continue;
            }
        }
        word += c;
    }
    if (quoted) {
        refuse(error, tr("The pattern command %1 has an unclosed quote.").arg(command));
        return {};
    }
    if (inWord)
        words << word;
    if (words.isEmpty() || words.first().isEmpty()) {
        refuse(error, tr("The pattern command names no program to run."));
        return {};
    }
    return words;
}

bool CommandPatchSource::show(const MatchingPatch& patch, QString* error)
{
    const QString cancelled = tr("The patch %1 was not shown: the run was cancelled.").arg(patch.name);
    if (m_cancelled)
        return refuse(error, cancelled);
    QStringList words = commandLine(m_command, patch, error);
    if (words.isEmpty())
        return false;
    const QString shown = words.join(QLatin1Char(' '));

    QProcess process;
    // Nothing reads what it prints; only its error output is kept for the message.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProgram(words.takeFirst());
    process.setArguments(words);
    process.start();

    const auto stop = [&process] {
        process.kill();
        process.waitForFinished(kReapMs);
    };
    QElapsedTimer clock;
    clock.start();
    // waitForStarted() is told apart from a failure by the process's state.
    while (process.state() == QProcess::Starting) {
        if (m_cancelled) {
            stop();
            return refuse(error, cancelled);
        }
        process.waitForStarted(kSliceMs);
    }
    if (process.state() == QProcess::NotRunning && process.error() == QProcess::FailedToStart)
        return refuse(error, tr("The pattern command %1 could not be started: %2.").arg(shown, process.errorString()));

    while (process.state() != QProcess::NotRunning) {
        if (m_cancelled) {
            stop();
            return refuse(error, cancelled);
        }
        if (clock.elapsed() >= m_timeoutMs) {
            stop();
            return refuse(error, tr("The pattern command %1 did not finish within %2 s and was stopped.")
                                     .arg(shown, QString::number(m_timeoutMs / 1000.0, 'g', 3)));
        }
        process.waitForFinished(int(std::min<qint64>(kSliceMs, std::max<qint64>(1, m_timeoutMs - clock.elapsed()))));
    }

    const QString said = lastErrorLine(process);
    if (process.exitStatus() == QProcess::CrashExit)
        return refuse(error, said.isEmpty() ? tr("The pattern command %1 crashed.").arg(shown)
                                            : tr("The pattern command %1 crashed: %2").arg(shown, said));
    if (process.exitCode() != 0)
        return refuse(error, said.isEmpty() ? tr("The pattern command %1 exited with code %2.")
                                                  .arg(shown, QString::number(process.exitCode()))
                                            : tr("The pattern command %1 exited with code %2: %3")
                                                  .arg(shown, QString::number(process.exitCode()), said));

    // The display takes a moment to show the new patch steadily.
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_wake.wait_for(lock, std::chrono::milliseconds(std::max(0, m_settleMs)), [this] { return m_cancelled.load(); }))
        return refuse(error, cancelled);
    return true;
}

void CommandPatchSource::cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
    }
    m_wake.notify_all();
}
