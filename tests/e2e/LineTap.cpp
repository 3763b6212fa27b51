#include "LineTap.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

void MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

// Blocking enough for a test: the other side drains within milliseconds.
void WriteAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n > 0) {
            data += n;
            size -= n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }
}

} // namespace

TLineTap::~TLineTap() {
    Stop();
}

bool TLineTap::Start(const std::string& devicePath, std::string* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        Stop();
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail("posix_openpt");
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail("ptsname");
    m_programPath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_slave < 0)
        return fail("open program end");
    MakeRaw(m_slave);
    m_device = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_device < 0)
        return fail("open exchange end");
    MakeRaw(m_device);
    m_stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stop < 0)
        return fail("eventfd");
    m_thread = std::thread([this] { Run(); });
    return true;
}

void TLineTap::Stop() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        (void)::write(m_stop, &one, sizeof one);
        m_thread.join();
    }
    for (int* fd : {&m_master, &m_slave, &m_device, &m_stop}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

QByteArray TLineTap::Sent() {
    std::lock_guard guard(m_lock);
    return m_sent;
}

void TLineTap::Run() {
    char buffer[512];
    for (;;) {
        pollfd fds[3] = {{m_stop, POLLIN, 0}, {m_master, POLLIN, 0}, {m_device, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                {
                    std::lock_guard guard(m_lock);
                    m_sent.append(buffer, n);
                }
                WriteAll(m_device, buffer, n);
            }
        }
        if (fds[2].revents & POLLIN) {
            const ssize_t n = ::read(m_device, buffer, sizeof buffer);
            if (n > 0)
                WriteAll(m_master, buffer, n);
        }
        // Hang-ups without data would spin; nothing a test needs comes after them.
        if ((fds[1].revents | fds[2].revents) & (POLLHUP | POLLERR) &&
            !((fds[1].revents | fds[2].revents) & POLLIN))
            ::poll(nullptr, 0, 5);
    }
}
