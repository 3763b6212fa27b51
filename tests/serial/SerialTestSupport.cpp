#include "SerialTestSupport.h"

#include <QFile>
#include <QTest>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>

namespace serialtest {

PtyPair::PtyPair() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    ::ptsname_r(m_master, name, sizeof name);
    m_path = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    closeMaster();
}

void PtyPair::closeMaster() {
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PtyPair::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            throw std::runtime_error("write to pseudo-terminal failed");
        done += n;
    }
}

QByteArray PtyPair::read(int count, int timeoutMs) {
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < count && timer.elapsed() < timeoutMs) {
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, 20) <= 0)
            continue;
        char buffer[4096];
        // Never past `count`: what is left stays for the next read.
        const ssize_t n =
            ::read(m_master, buffer, std::min(sizeof buffer, size_t(count - got.size())));
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

void Received::bind(TComm32& comm) {
    comm.OnReceiveData = [this](const char* buffer, uint16_t length) {
        blocks.emplace_back(buffer, length);
        zeroTerminated.push_back(buffer[length] == 0);
    };
    comm.OnRequestHangup = [this](TComm32*) { ++hangups; };
}

QByteArray Received::all() const {
    QByteArray joined;
    for (const QByteArray& b : blocks)
        joined += b;
    return joined;
}

bool FakeLine::ReadErrorCounters(int, serial::TLineErrorCounters& counters) {
    std::lock_guard guard(m_lock);
    counters = m_counters;
    return true;
}

void FakeLine::SetModemLines(int, bool r, bool d) {
    rts = r;
    dtr = d;
}

ssize_t FakeLine::Read(int fd, char* buffer, size_t size) {
    const ssize_t n = serial::TLineAccess::Read(fd, buffer, size);
    if (n > 0)
        taken += n;
    return n;
}

void FakeLine::add(uint32_t frame, uint32_t overrun, uint32_t parity, uint32_t bufOverrun) {
    std::lock_guard guard(m_lock);
    m_counters.frame += frame;
    m_counters.overrun += overrun;
    m_counters.parity += parity;
    m_counters.bufOverrun += bufOverrun;
}

QStringList ReadLogLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

int CountEntries(const char* dir) {
    DIR* d = ::opendir(dir);
    if (!d)
        return -1;
    int count = 0;
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.')
            ++count;
    ::closedir(d);
    return count;
}

} // namespace serialtest
