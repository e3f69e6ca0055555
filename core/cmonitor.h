#ifndef CMONITOR_H
#define CMONITOR_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class SerialPort;

// The program's end of the serial line to the display under alignment. Bytes from
// the monitor are collected in a small ring and cut into CR-terminated lines, of
// which only the first five characters count: "MES,1" (1), "MES,0" (2) and
// "MDR,1" (3); anything else is 0. CRs and LFs before a line are skipped, so
// displays that end their lines with CR LF are understood too. Reading never
// waits, so the alignment thread can poll readCommand() in a tight loop.
class CMonitor : public QObject
{
    Q_OBJECT

public:
    enum Command { NoCommand = 0, StartMeasure = 1, StopMeasure = 2, SendValue = 3 };
    static constexpr int BufferSize = 32;

    // The request a command code stands for ("MES,1", "MES,0", "MDR,1"); "?"
    // for any other code.
    static QString requestText(int command);

    explicit CMonitor(QObject* parent = nullptr);
    ~CMonitor() override;

    // Opens the port at path with the monitor's line settings, 9600 8N2.
    bool init(QString path);
    bool GetInit() const;
    void release();

    // Drops everything received so far, in the port and in the ring.
    void flushBuffer();
    // Reads what has arrived and returns the code of the next complete line.
    int readCommand();
    // Reads what has arrived and discards all of it.
    void skipCommand();
    // Returns false if the port reported a write error.
    bool writeInstrument(QString text);

    void BufDump() const;
    int bufAvailable() const;
    bool BufHasCommand() const;
    // Like readCommand() but on the stored bytes only, finding a command
    // anywhere in the first line.
    int findBufCommand();

    // The stored bytes, oldest first.
    QByteArray bufferedBytes() const;
    // Bytes that arrived at the port and have not been read into the ring yet.
    qint64 bytesWaiting() const;
    // Sleeps until a byte arrives at the port or msecs have passed; true when
    // there is something to read, or the line has hung up, or waits are cancelled.
    bool waitForData(int msecs);

    // True once the display's end of the line has gone (unplugged, switched off).
    bool isHungUp() const;
    // Opens the port it was last given again; for a display plugged back in.
    bool reopen();
    QString portPath() const;

    // Ends waits on the port at once, from any thread, until resumeWaits().
    void cancelWaits();
    void resumeWaits();

private:
    int stored() const;
    void store(char c);
    void clearRing();
    void drain();
    bool skipLineEnds();
    int findCr(int from) const;
    static int codeFor(const QByteArray& text);

    std::unique_ptr<SerialPort> port;
    char buffer[BufferSize] = {};
    int readPos = 0;
    int writePos = 0;
};

#endif // CMONITOR_H
