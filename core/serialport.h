#ifndef SERIALPORT_H
#define SERIALPORT_H

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>

class SerialDevice;

// A serial port over POSIX termios, read by polling: nothing here needs an event
// loop, so the monitor link and the instrument drivers can use it from the
// alignment thread as well as from the main thread. Every call takes the port's
// own lock, so one object may be used from whichever thread calls it.
//
// Line settings may be given before or after open(); before, they are applied
// when the port opens. The port is opened non-blocking and raw; reads wait only
// where a call says so, and then never longer than its time-out.
//
// A name with a SerialDevice registered for it (setDevice()) is not opened as a
// file: the port then reads and writes through that device, and line settings
// are only kept. This is how a driver or the monitor link talks to an
// instrument in memory without knowing it.
class SerialPort
{
public:
    enum DataBits { Data5 = 5, Data6 = 6, Data7 = 7, Data8 = 8 };
    enum Parity { ParityNone, ParityOdd, ParityEven };
    enum StopBits { OneStop, TwoStop };
    enum FlowControl { FlowOff, FlowHardware, FlowXonXoff };

    SerialPort();
    explicit SerialPort(const QString& name);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The device path, for example "/dev/ttyUSB0". A new name takes effect on the
    // next open().
    void setPortName(const QString& name);
    QString portName() const;
    // The device path of a port as the user names it: a name under /dev as the
    // window lists it ("ttyACM0", "pts/3"), or a full path, kept as it stands.
    static QString devicePath(const QString& port);

    // Opens the port for reading and writing and takes exclusive use of the
    // terminal. True if already open. Fails on anything that is not a terminal.
    bool open();
    bool isOpen() const;
    // Also from another thread: a wait in progress there ends at once.
    void close();

    // Each returns false when the value is not supported or the terminal refused it.
    bool setBaudRate(int baud);
    bool setDataBits(DataBits bits);
    bool setParity(Parity parity);
    bool setStopBits(StopBits bits);
    bool setFlowControl(FlowControl flow);
    int baudRate() const;
    DataBits dataBits() const;
    Parity parity() const;
    StopBits stopBits() const;
    FlowControl flowControl() const;

    // How long read() waits for the first byte and write() for room, in ms.
    void setTimeout(int msecs);
    int timeout() const;

    // Discards everything received and not yet read, and everything written and
    // not yet sent.
    bool flush();

    // Reads one byte if one has arrived; never waits.
    bool getChar(char* c);
    // Waits up to the time-out for data, then reads what has arrived, at most
    // maxSize bytes. Returns the count, 0 on time-out, -1 on error.
    qint64 read(char* data, qint64 maxSize);
    QByteArray read(qint64 maxSize);
    // Writes all bytes unless the terminal stays full for longer than the
    // time-out. Returns the count written, or -1 when nothing could be written.
    qint64 write(const char* data, qint64 size);
    qint64 write(const QByteArray& data);

    // True as soon as a byte can be read; false after msecs without one. Also
    // true at once when the line has hung up or waits are cancelled: the read
    // that follows then finds nothing, which ends every reply loop at once.
    bool waitForReadyRead(int msecs);
    // Bytes received and not yet read; 0 when closed.
    qint64 bytesAvailable() const;

    QString errorString() const;

    // True once the other end has hung up (the device was unplugged or the
    // terminal's other side closed); cleared when the port is opened again.
    bool isHungUp() const;

    // Ends every wait on this port at once, from any thread, including a wait
    // already in progress, and keeps ending them until resumeWaits(). This is how
    // a driver's long reply wait is interrupted without the driver knowing.
    void cancelWaits();
    void resumeWaits();
    bool waitsCancelled() const;

    // Ends every wait of every port in the process at once and for good, also
    // waits that begin later. For a program that is being stopped, from
    // wherever it is blocked; async-signal-safe, so a signal handler may call it.
    static void abandonAllWaits();

    // Ports opened on name from now on use device instead of a terminal; a null
    // device makes the name a path again. Ports already open keep what they had.
    static void setDevice(const QString& name, std::shared_ptr<SerialDevice> device);

private:
    bool applySettings();
    void setError(const QString& what);
    // poll() on the port and the cancel event together; see the .cpp.
    enum class WaitResult { Ready, TimedOut, HungUp, Cancelled, Failed };
    WaitResult waitFor(short events, int msecs);
    // Cancelled, closing, or every wait of the process abandoned.
    bool waitsEnded() const;
    bool opened() const { return m_fd >= 0 || m_device; }

    mutable QMutex m_mutex;
    QString m_name;
    int m_fd = -1;
    // Set instead of m_fd while open on a registered device.
    std::shared_ptr<SerialDevice> m_device;
    int m_baud = 9600;
    DataBits m_dataBits = Data8;
    Parity m_parity = ParityNone;
    StopBits m_stopBits = OneStop;
    FlowControl m_flow = FlowOff;
    int m_timeout = 500;
    QString m_error;
    bool m_hungUp = false;
    // eventfd written by cancelWaits(); polled beside the terminal by every wait.
    int m_cancelFd = -1;
    std::atomic<bool> m_cancelled{false};
    // Set by close() until it has the lock: a wait in progress gives way.
    std::atomic<bool> m_closing{false};
};

#endif // SERIALPORT_H
