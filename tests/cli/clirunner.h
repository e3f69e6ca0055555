#ifndef CLIRUNNER_H
#define CLIRUNNER_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// Runs the real lumaserve-cli as the operator or a service manager would, and
// collects its exit code and output.
class CliRunner
{
public:
    struct Result {
        bool finished = false;
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    static QString program();

    // Runs to the end, at most timeoutMs; extraEnvironment as "NAME=value", or
    // "NAME" alone to run without that variable.
    static Result run(const QStringList& arguments, int timeoutMs = 30000,
                      const QStringList& extraEnvironment = {});

    // A process left running (serve, or a command waiting for the operator).
    explicit CliRunner(const QStringList& arguments, const QStringList& extraEnvironment = {});
    ~CliRunner();

    QProcess& process() { return *m_process; }
    // Everything written so far (reads what is pending).
    QByteArray out();
    QByteArray err();
    // Waits until standard output holds text; false after timeoutMs.
    bool waitForOut(const QByteArray& text, int timeoutMs = 10000) { return waitFor(true, text, timeoutMs); }
    bool waitForErr(const QByteArray& text, int timeoutMs = 10000) { return waitFor(false, text, timeoutMs); }
    // Sends the signal and waits for the end, at most timeoutMs.
    bool signalAndWait(int signalNumber, int timeoutMs);
    Result finish(int timeoutMs);

private:
    bool waitFor(bool onOut, const QByteArray& text, int timeoutMs);

    std::unique_ptr<QProcess> m_process;
    QByteArray m_out;
    QByteArray m_err;
};

#endif // CLIRUNNER_H
