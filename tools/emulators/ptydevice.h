#ifndef PTYDEVICE_H
#define PTYDEVICE_H

#include <atomic>
#include <chrono>
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
class PtyDevice
{
public:
    PtyDevice();
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

    // Writes bytes towards the program under test. Safe from any thread.
    bool send(const std::string& bytes);

    // Total number of bytes received so far.
    size_t bytesReceived() const { return m_received.load(); }

protected:
    // Called on the emulator's thread with each chunk of received bytes.
    virtual void received(const std::string& bytes) = 0;

private:
    void serve();

    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_received{0};
    std::mutex m_writeMutex;
};

#endif // PTYDEVICE_H
