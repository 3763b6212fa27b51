#pragma once

#include "serial/Comm32.h"
#include "serial/LineAccess.h"
#include "support/TestSupport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace serialtest {

// A bare pseudo-terminal pair: the test plays the device on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    int master() const { return m_master; }
    QString devicePath() const { return m_path; }
    void write(const QByteArray& bytes);
    // Reads what the component wrote, up to `count` bytes or until `timeoutMs`.
    QByteArray read(int count, int timeoutMs);
    void closeMaster();

private:
    int m_master = -1;
    QString m_path;
};

using testsupport::WaitUntil;

// Everything a TComm32 hands to its owner.
struct Received {
    std::vector<QByteArray> blocks;
    std::vector<bool> zeroTerminated;
    int hangups = 0;
    void bind(TComm32& comm);
    QByteArray all() const;
};

// Stands in for a UART's error counters and modem lines.
class FakeLine : public serial::TLineAccess {
public:
    bool ReadErrorCounters(int fd, serial::TLineErrorCounters& counters) override;
    void SetModemLines(int fd, bool rts, bool dtr) override;
    void add(uint32_t frame, uint32_t overrun, uint32_t parity, uint32_t bufOverrun = 0);
    std::atomic<int> rts{-1}, dtr{-1};
    // Bytes the reader has taken from the driver.
    ssize_t Read(int fd, char* buffer, size_t size) override;
    std::atomic<long> taken{0};

private:
    std::mutex m_lock;
    serial::TLineErrorCounters m_counters;
};

QStringList ReadLogLines(const QString& path);
int CountEntries(const char* dir);

} // namespace serialtest
