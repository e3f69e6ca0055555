#ifndef PTYDEVICE_H
#define PTYDEVICE_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// One emulated serial device on a pseudo-terminal. The program under test opens
// devicePath() like a real serial port; the emulator serves the master side on a
// thread of its own and hands every chunk of bytes it receives to received().
//
// Subclasses implement the device's protocol in received() and answer with
// send(). The emulator keeps its own handle on the terminal side open, so the
// device path stays valid while the program under test opens and closes it.
//
// A pseudo-terminal moves bytes at once. With pacing on, the device keeps the
// time of the serial line it stands for: what it sends goes out at the line's
// character rate, what it receives is handled when its last character would
// have arrived, and a reply starts no earlier than the processing time after
// the command. Pacing is off by default, so tests that do not look at time
// stay fast.
class PtyDevice
{
public:
    // The serial line the device is connected by.
    struct Line {
        enum Parity { None, Odd, Even };
        int baud = 9600;
        int dataBits = 8;
        Parity parity = None;
        int stopBits = 1;

        // One start bit, the data bits, the parity bit and the stop bits.
        int bitsPerCharacter() const { return 1 + dataBits + (parity == None ? 0 : 1) + stopBits; }
        std::chrono::nanoseconds characterTime() const;
        std::chrono::nanoseconds wireTime(size_t characters) const;
    };

    PtyDevice();
    explicit PtyDevice(const Line& line);
    virtual ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Opens the pseudo-terminal and starts serving it; false if none could be had.
    bool start();
    // Stops serving; called by the destructor. Subclasses whose received() uses
    // their own members must call it in their destructor.
    void stop();

    bool isRunning() const { return m_running.load(); }
    // The terminal's device path, for example "/dev/pts/5"; empty before start().
    std::string devicePath() const { return m_path; }
    // The name under /dev, for example "pts/5", as a user would pick it.
    std::string portName() const;

    Line serialLine() const;
    void setSerialLine(const Line& line);
    bool isPaced() const { return m_paced.load(); }
    void setPaced(bool paced) { m_paced.store(paced); }
    // How long the device takes before it answers a command.
    std::chrono::microseconds processingTime() const { return std::chrono::microseconds(m_processingUs.load()); }
    void setProcessingTime(std::chrono::microseconds time) { m_processingUs.store(time.count()); }

    // Writes bytes towards the program under test, at the line's character
    // rate when paced; returns when the last byte is out. Safe from any thread.
    bool send(const std::string& bytes);

    // Total number of bytes received and sent so far.
    size_t bytesReceived() const { return m_received.load(); }
    size_t bytesSent() const { return m_sent.load(); }

    // Monotonic time (CLOCK_MONOTONIC, in ns) at which send() wrote its last
    // byte to the terminal: when the program could first read all of it.
    int64_t lastSendDoneNs() const { return m_lastSendDoneNs.load(); }

protected:
    // Called on the emulator's thread with each chunk of received bytes.
    virtual void received(const std::string& bytes) = 0;
    // Inside received(): when the chunk was read from the terminal, before any
    // pacing wait; what the program's own timing is measured against.
    int64_t chunkReadNs() const { return m_chunkReadNs; }

private:
    void serve();
    bool writeAll(const char* data, size_t size);

    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_received{0};
    std::atomic<size_t> m_sent{0};
    std::atomic<bool> m_paced{false};
    std::atomic<int64_t> m_processingUs{0};
    // Monotonic times in nanoseconds: when the last received chunk was handed
    // on, and when the line towards the program falls free.
    std::atomic<int64_t> m_lastReceivedNs{0};
    int64_t m_sendFreeNs = 0;
    std::atomic<int64_t> m_lastSendDoneNs{0};
    int64_t m_chunkReadNs = 0;
    mutable std::mutex m_lineMutex;
    Line m_line;
    std::mutex m_writeMutex;
};

#endif // PTYDEVICE_H
