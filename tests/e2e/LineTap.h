#pragma once

#include <QByteArray>
#include <QString>
#include <mutex>
#include <string>
#include <thread>

// A pseudo-terminal put between the program and the simulated exchange, so a test
// sees the exact bytes the program puts on the line (the exchange only reports the
// messages it understood).
class TLineTap {
public:
    TLineTap() = default;
    ~TLineTap();
    TLineTap(const TLineTap&) = delete;
    TLineTap& operator=(const TLineTap&) = delete;

    // Connects to the exchange's device path; false with `error` set.
    bool Start(const std::string& devicePath, std::string* error);
    void Stop();

    // The path the program opens instead of the exchange's.
    QString ProgramPath() const { return QString::fromStdString(m_programPath); }
    // Everything the program has sent so far.
    QByteArray Sent();

private:
    void Run();

    std::string m_programPath;
    int m_master = -1;
    int m_slave = -1; // held so the master sees no hang-up before the program opens
    int m_device = -1;
    int m_stop = -1;
    std::thread m_thread;
    std::mutex m_lock;
    QByteArray m_sent;
};
