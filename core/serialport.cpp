#include "serialport.h"

#include "serialdevice.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QMutexLocker>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// termios speed constant for a baud rate; B0 when the rate has none.
speed_t speedFor(int baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
    default: return B0;
    }
}

// The devices registered by port name, shared by every port of the process.
struct DeviceRegistry {
    QMutex mutex;
    QHash<QString, std::shared_ptr<SerialDevice>> devices;
};

DeviceRegistry& registry()
{
    static DeviceRegistry instance;
    return instance;
}

// Written once by abandonAllWaits() and never read, so it stays readable and
// every later poll beside it returns at once. Made before main(), as a signal
// handler may not make it.
const int abandonFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
std::atomic<bool> abandoned{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

} // namespace

void SerialPort::setDevice(const QString& name, std::shared_ptr<SerialDevice> device)
{
    DeviceRegistry& r = registry();
    QMutexLocker lock(&r.mutex);
    if (device)
        r.devices.insert(name, std::move(device));
    else
        r.devices.remove(name);
}

SerialPort::SerialPort()
    : m_cancelFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

SerialPort::SerialPort(const QString& name)
    : SerialPort()
{
    m_name = name;
}

SerialPort::~SerialPort()
{
    close();
    if (m_cancelFd >= 0)
        ::close(m_cancelFd);
}

// Waits until the terminal is ready for the given events. The cancel event is
// polled beside it, so cancelWaits() from another thread ends a wait already in
// progress; the port's lock is held meanwhile, which is why that flag is atomic
// and the eventfd is never closed while the object lives.
SerialPort::WaitResult SerialPort::waitFor(short events, int msecs)
{
    if (m_device) {
        // A device takes every write at once; only reads wait, and as the
        // device decides.
        if (waitsEnded())
            return WaitResult::Cancelled;
        const bool ready = (events & POLLIN) == 0 || m_device->waitForReadyRead(qMax(0, msecs));
        if (waitsEnded())
            return WaitResult::Cancelled;
        if (m_device->isHungUp()) {
            m_hungUp = true;
            return WaitResult::HungUp;
        }
        return ready ? WaitResult::Ready : WaitResult::TimedOut;
    }
    QDeadlineTimer deadline(qMax(0, msecs));
    for (;;) {
        if (waitsEnded())
            return WaitResult::Cancelled;
        // poll() passes over an entry whose descriptor is negative.
        pollfd pfd[3] = {{m_fd, events, 0}, {m_cancelFd, POLLIN, 0}, {abandonFd, POLLIN, 0}};
        const int ready = ::poll(pfd, 3, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return WaitResult::Failed;
        if (waitsEnded())
            return WaitResult::Cancelled;
        if (ready == 0)
            return WaitResult::TimedOut;
        if (pfd[0].revents & POLLNVAL)
            return WaitResult::Failed;
        if (pfd[0].revents & (POLLHUP | POLLERR)) {
            m_hungUp = true;
            return WaitResult::HungUp;
        }
        if (pfd[0].revents & events)
            return WaitResult::Ready;
        // Only a stale cancel event woke us: drain it and wait on.
        eventfd_t value;
        ::eventfd_read(m_cancelFd, &value);
    }
}

bool SerialPort::waitsEnded() const
{
    return m_cancelled.load() || m_closing.load() || abandoned.load();
}

void SerialPort::cancelWaits()
{
    m_cancelled.store(true);
    if (m_cancelFd >= 0)
        ::eventfd_write(m_cancelFd, 1);
}

void SerialPort::abandonAllWaits()
{
    abandoned.store(true);
    if (abandonFd >= 0) {
        const eventfd_t one = 1;
        // write() is async-signal-safe; eventfd_write() is not promised to be.
        [[maybe_unused]] const ssize_t written = ::write(abandonFd, &one, sizeof one);
    }
}

void SerialPort::resumeWaits()
{
    m_cancelled.store(false);
    eventfd_t value;
    if (m_cancelFd >= 0)
        ::eventfd_read(m_cancelFd, &value);
}

bool SerialPort::waitsCancelled() const
{
    return m_cancelled.load();
}

bool SerialPort::isHungUp() const
{
    QMutexLocker lock(&m_mutex);
    return m_hungUp;
}

void SerialPort::setPortName(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    m_name = name;
}

QString SerialPort::portName() const
{
    QMutexLocker lock(&m_mutex);
    return m_name;
}

QString SerialPort::devicePath(const QString& port)
{
    // A full path (a symlink a udev rule keeps for whichever device is plugged
    // in) is kept as given, so the device is reopened by that name.
    if (port.startsWith(QLatin1Char('/')))
        return port;
    return QStringLiteral("/dev/%1").arg(port);
}

bool SerialPort::open()
{
    QMutexLocker lock(&m_mutex);
    if (opened())
        return true;
    {
        DeviceRegistry& r = registry();
        QMutexLocker registryLock(&r.mutex);
        m_device = r.devices.value(m_name);
    }
    if (m_device) {
        m_hungUp = false;
        return true;
    }
    // Non-blocking, so that opening does not wait for carrier detect.
    const int fd = ::open(QFile::encodeName(m_name).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setError(QStringLiteral("open"));
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        setError(QStringLiteral("not a terminal"));
        ::close(fd);
        return false;
    }
    // TIOCEXCL keeps other programs from opening the terminal; the advisory lock
    // also stops a second port object of a privileged process, which TIOCEXCL
    // lets through.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        setError(QStringLiteral("in use"));
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_hungUp = false;
    if (!applySettings()) {
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool SerialPort::isOpen() const
{
    QMutexLocker lock(&m_mutex);
    return opened();
}

void SerialPort::close()
{
    // A read on another thread holds the lock for up to its whole time-out; wake
    // it, so that the port closes at once. The stale event is drained by the next
    // wait that finds no cancel behind it.
    m_closing.store(true);
    if (m_cancelFd >= 0)
        ::eventfd_write(m_cancelFd, 1);
    QMutexLocker lock(&m_mutex);
    m_closing.store(false);
    m_device.reset();
    if (m_fd < 0)
        return;
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
}

bool SerialPort::applySettings()
{
    if (m_fd < 0)
        return true;
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0) {
        setError(QStringLiteral("tcgetattr"));
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
    switch (m_dataBits) {
    case Data5: tio.c_cflag |= CS5; break;
    case Data6: tio.c_cflag |= CS6; break;
    case Data7: tio.c_cflag |= CS7; break;
    case Data8: tio.c_cflag |= CS8; break;
    }
    if (m_parity != ParityNone) {
        tio.c_cflag |= PARENB;
        tio.c_iflag |= INPCK;
        if (m_parity == ParityOdd)
            tio.c_cflag |= PARODD;
    }
    if (m_stopBits == TwoStop)
        tio.c_cflag |= CSTOPB;
    if (m_flow == FlowHardware)
        tio.c_cflag |= CRTSCTS;
    else if (m_flow == FlowXonXoff)
        tio.c_iflag |= IXON | IXOFF;
    // Reads never block in the driver; waiting is done with poll().
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = speedFor(m_baud);
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0
        || ::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        setError(QStringLiteral("tcsetattr"));
        return false;
    }
    return true;
}

bool SerialPort::setBaudRate(int baud)
{
    QMutexLocker lock(&m_mutex);
    if (speedFor(baud) == B0)
        return false;
    const int old = m_baud;
    m_baud = baud;
    if (applySettings())
        return true;
    m_baud = old;
    return false;
}

bool SerialPort::setDataBits(DataBits bits)
{
    QMutexLocker lock(&m_mutex);
    const DataBits old = m_dataBits;
    m_dataBits = bits;
    if (applySettings())
        return true;
    m_dataBits = old;
    return false;
}

bool SerialPort::setParity(Parity parity)
{
    QMutexLocker lock(&m_mutex);
    const Parity old = m_parity;
    m_parity = parity;
    if (applySettings())
        return true;
    m_parity = old;
    return false;
}

bool SerialPort::setStopBits(StopBits bits)
{
    QMutexLocker lock(&m_mutex);
    const StopBits old = m_stopBits;
    m_stopBits = bits;
    if (applySettings())
        return true;
    m_stopBits = old;
    return false;
}

bool SerialPort::setFlowControl(FlowControl flow)
{
    QMutexLocker lock(&m_mutex);
    const FlowControl old = m_flow;
    m_flow = flow;
    if (applySettings())
        return true;
    m_flow = old;
    return false;
}

int SerialPort::baudRate() const
{
    QMutexLocker lock(&m_mutex);
    return m_baud;
}

SerialPort::DataBits SerialPort::dataBits() const
{
    QMutexLocker lock(&m_mutex);
    return m_dataBits;
}

SerialPort::Parity SerialPort::parity() const
{
    QMutexLocker lock(&m_mutex);
    return m_parity;
}

SerialPort::StopBits SerialPort::stopBits() const
{
    QMutexLocker lock(&m_mutex);
    return m_stopBits;
}

SerialPort::FlowControl SerialPort::flowControl() const
{
    QMutexLocker lock(&m_mutex);
    return m_flow;
}

void SerialPort::setTimeout(int msecs)
{
    QMutexLocker lock(&m_mutex);
    m_timeout = qMax(0, msecs);
}

int SerialPort::timeout() const
{
    QMutexLocker lock(&m_mutex);
    return m_timeout;
}

bool SerialPort::flush()
{
    QMutexLocker lock(&m_mutex);
    if (m_device) {
        m_device->discardInput();
        return true;
    }
    return m_fd >= 0 && ::tcflush(m_fd, TCIOFLUSH) == 0;
}

bool SerialPort::getChar(char* c)
{
    QMutexLocker lock(&m_mutex);
    if (!opened() || !c || m_cancelled.load())
        return false;
    if (m_device) {
        if (m_device->read(c, 1) == 1)
            return true;
        m_hungUp = m_hungUp || m_device->isHungUp();
        return false;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, c, 1);
        if (n == 1)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EIO)
            m_hungUp = true;
        return false;
    }
}

qint64 SerialPort::read(char* data, qint64 maxSize)
{
    QMutexLocker lock(&m_mutex);
    if (!opened() || !data || maxSize < 0)
        return -1;
    if (maxSize == 0)
        return 0;
    const WaitResult waited = waitFor(POLLIN, m_timeout);
    switch (waited) {
    case WaitResult::TimedOut:
        return 0;
    case WaitResult::Cancelled:
        m_error = QStringLiteral("%1: wait cancelled").arg(m_name);
        return -1;
    default:
        // Ready, or hung up with bytes that may still be waiting: read them.
        break;
    }
    if (m_device) {
        const qint64 n = m_device->read(data, maxSize);
        if (n > 0)
            return n;
        if (waited != WaitResult::HungUp)
            return 0;
        m_error = QStringLiteral("%1: read: hung up").arg(m_name);
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, data, size_t(maxSize));
        if (n > 0)
            return n;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return 0;
        // A raw terminal reads 0 when nothing is there; only after a hang-up is
        // that the end of the line.
        if (n == 0 && waited != WaitResult::HungUp)
            return 0;
        if (n == 0 || errno == EIO)
            m_hungUp = true;
        setError(QStringLiteral("read"));
        return -1;
    }
}

QByteArray SerialPort::read(qint64 maxSize)
{
    QByteArray bytes(int(qBound<qint64>(0, maxSize, 1 << 20)), '\0');
    const qint64 n = read(bytes.data(), bytes.size());
    bytes.resize(int(qMax<qint64>(0, n)));
    return bytes;
}

qint64 SerialPort::write(const char* data, qint64 size)
{
    QMutexLocker lock(&m_mutex);
    if (!opened() || (!data && size > 0) || size < 0)
        return -1;
    if (m_device) {
        const qint64 n = size > 0 ? m_device->write(data, size) : 0;
        if (n < 0) {
            m_hungUp = true;
            m_error = QStringLiteral("%1: write: hung up").arg(m_name);
        }
        return n;
    }
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && waitFor(POLLOUT, m_timeout) == WaitResult::Ready)
            continue;
        if (n < 0 && errno != EAGAIN)
            setError(QStringLiteral("write"));
        return done > 0 ? done : -1;
    }
    return done;
}

qint64 SerialPort::write(const QByteArray& data)
{
    return write(data.constData(), data.size());
}

bool SerialPort::waitForReadyRead(int msecs)
{
    QMutexLocker lock(&m_mutex);
    if (!opened())
        return false;
    const WaitResult result = waitFor(POLLIN, msecs);
    return result == WaitResult::Ready || result == WaitResult::HungUp
           || result == WaitResult::Cancelled;
}

qint64 SerialPort::bytesAvailable() const
{
    QMutexLocker lock(&m_mutex);
    if (m_device)
        return m_device->bytesAvailable();
    int n = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FIONREAD, &n) != 0)
        return 0;
    return n;
}

QString SerialPort::errorString() const
{
    QMutexLocker lock(&m_mutex);
    return m_error;
}

void SerialPort::setError(const QString& what)
{
    m_error = QStringLiteral("%1: %2: %3").arg(m_name, what, QString::fromLocal8Bit(std::strerror(errno)));
}
