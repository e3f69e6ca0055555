#ifndef UNITCOMMAND_H
#define UNITCOMMAND_H

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

// Asks an outside command for the unit id of the display a session serves
// (a barcode reader, the line's MES): the command is split into words on
// blanks, double quotes keeping a word together, and run without a shell; the
// first line it prints is the unit. One that fails, prints nothing or takes
// longer than TimeoutMs gives no unit.
class UnitCommand : public QObject
{
    Q_OBJECT

public:
    static constexpr int TimeoutMs = 10000;
    static constexpr int MaxUnitLength = 200;
    static constexpr qint64 MaxOutputBytes = 64 * 1024;

    explicit UnitCommand(const QString& command, QObject* parent = nullptr);
    ~UnitCommand() override;

    // False (and why) for a command with nothing to run.
    static bool check(const QString& command, QString* error);
    // The unit from what the command printed; empty when there is none.
    static QString unitFrom(const QByteArray& output);

    // Runs the command for the session; one still running for an earlier
    // session is stopped.
    void run(const QString& uid);
    bool isRunningFor(const QString& uid) const { return m_process && m_uid == uid; }

signals:
    void unitFound(QString uid, QString unit);
    void failed(QString uid, QString error);

private:
    void stopRunning();

    const QString m_command;
    QProcess* m_process = nullptr;
    QString m_uid;
    QTimer m_timeout;
};

#endif // UNITCOMMAND_H
