#pragma once

#include "VarnoDevice.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace varnosim {

struct TSimOptions {
    std::string linkPath;           // symbolic link to the device end, if wanted
    std::string dumpPath;           // parameter file written after every applied write
    int chargeIntervalMs = 0;       // 0: counters stand still
    double byteTimeMs = 10.0 / 9.6; // 10 bits per byte at 9600 baud
};

// Runs a TVarnoDevice on the master side of a pseudo-terminal in its own thread.
// The program (or a test) opens DevicePath() as its serial port.
class TPtySimulator {
public:
    TPtySimulator(TVarnoDevice device, TSimOptions options);
    ~TPtySimulator();
    TPtySimulator(const TPtySimulator&) = delete;
    TPtySimulator& operator=(const TPtySimulator&) = delete;

    // Opens the pseudo-terminal and starts the thread; false with `error` set.
    bool Start(std::string* error = nullptr);
    void Stop();

    std::string DevicePath() const { return m_devicePath; }
    TImage ImageSnapshot();
    uint16_t Units(int port);
    // Waits (bounded) until the device has applied `count` write messages.
    bool WaitForWrites(int count, int timeoutMs);
    // Waits (bounded) until the device has sent `count` bytes in all.
    bool WaitForSent(long count, int timeoutMs);
    // Waits (bounded) until the device has received `count` line bytes in all.
    bool WaitForReceived(long count, int timeoutMs);
    bool HungUp();
    long BytesSent();

    // Called on the simulator's thread.
    std::function<void(const std::string&)> OnEvent;

private:
    void Run();
    void Note(const std::string& text);
    void HangUp();

    TVarnoDevice m_device;
    TSimOptions m_options;
    std::string m_devicePath;
    int m_master = -1;
    int m_slave = -1; // held so the master never sees a hang-up between clients
    int m_stop = -1;
    std::thread m_thread;

    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_hungUp = false;
    long m_sent = 0;
    long m_received = 0;
    int m_applied = 0;
};

} // namespace varnosim
