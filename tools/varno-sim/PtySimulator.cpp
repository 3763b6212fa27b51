#include "PtySimulator.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace varnosim {

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

Clock::duration Ms(double ms) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

struct TOutgoing {
    std::vector<uint8_t> bytes;
    size_t next = 0;
    Clock::time_point due;
    int pauseAfter = -1;
    int pauseMs = 0;
};

} // namespace

TPtySimulator::TPtySimulator(TVarnoDevice device, TSimOptions options)
    : m_device(std::move(device)), m_options(std::move(options)) {
}

TPtySimulator::~TPtySimulator() {
    Stop();
}

bool TPtySimulator::Start(std::string* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        Stop();
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0)
        return fail("posix_openpt");
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail("unlockpt");
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail("ptsname");
    m_devicePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_slave < 0)
        return fail("open device end");
    // Raw from the start: no echo of requests before the program sets its modes.
    termios tio{};
    if (::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    if (!m_options.linkPath.empty()) {
        ::unlink(m_options.linkPath.c_str());
        if (::symlink(name, m_options.linkPath.c_str()) != 0)
            return fail("symlink");
    }
    m_stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stop < 0)
        return fail("eventfd");
    m_device.OnEvent = [this](const std::string& text) { Note(text); };
    m_thread = std::thread([this] { Run(); });
    return true;
}

void TPtySimulator::Stop() {
    if (!m_options.linkPath.empty())
        ::unlink(m_options.linkPath.c_str());
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        // An eventfd refuses a write only when its counter would overflow.
        [[maybe_unused]] const ssize_t written = ::write(m_stop, &one, sizeof one);
        m_thread.join();
    }
    for (int* fd : {&m_master, &m_slave, &m_stop}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void TPtySimulator::Note(const std::string& text) {
    if (OnEvent)
        OnEvent(text);
}

TImage TPtySimulator::ImageSnapshot() {
    std::lock_guard guard(m_lock);
    return m_device.Image();
}

uint16_t TPtySimulator::Units(int port) {
    std::lock_guard guard(m_lock);
    return m_device.Units(port);
}

bool TPtySimulator::WaitForWrites(int count, int timeoutMs) {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_applied >= count; });
}

bool TPtySimulator::WaitForSent(long count, int timeoutMs) {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_sent >= count; });
}

bool TPtySimulator::WaitForReceived(long count, int timeoutMs) {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_received >= count; });
}

bool TPtySimulator::HungUp() {
    std::lock_guard guard(m_lock);
    return m_hungUp;
}

long TPtySimulator::BytesSent() {
    std::lock_guard guard(m_lock);
    return m_sent;
}

void TPtySimulator::HangUp() {
    // The name goes first, as a pulled adapter's does: the pseudo-terminal's own
    // number is free for the next one opened anywhere once the program lets go.
    if (!m_options.linkPath.empty())
        ::unlink(m_options.linkPath.c_str());
    // Closing every master-side and own device-end descriptor hangs the line up.
    ::close(m_master);
    ::close(m_slave);
    m_master = m_slave = -1;
    Note("hung up");
    std::lock_guard guard(m_lock);
    m_hungUp = true;
    m_changed.notify_all();
}

void TPtySimulator::Run() {
    std::deque<TOutgoing> out;
    const bool charging = m_options.chargeIntervalMs > 0;
    Clock::time_point nextCharge = Clock::now() + Ms(m_options.chargeIntervalMs);
    const Clock::duration byteTime = Ms(m_options.byteTimeMs);
    const long hangupAfter = m_device.Faults().hangupAfter;
    bool masterBroken = false;

    for (;;) {
        Clock::time_point wake = Clock::time_point::max();
        if (!out.empty())
            wake = out.front().due;
        if (charging)
            wake = std::min(wake, nextCharge);
        if (masterBroken)
            wake = std::min(wake, Clock::now() + Ms(50));
        timespec limit{};
        const timespec* timeout = nullptr;
        if (wake != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), wake - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            limit.tv_sec = time_t(ns / 1000000000);
            limit.tv_nsec = long(ns % 1000000000);
            timeout = &limit;
        }
        pollfd fds[2] = {{m_stop, POLLIN, 0}, {masterBroken ? -1 : m_master, POLLIN, 0}};
        if (::ppoll(fds, 2, timeout, nullptr) < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            break;

        if (fds[1].revents) {
            uint8_t buffer[256];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                bool dump = false;
                for (ssize_t i = 0; i < n; ++i) {
                    std::optional<TAnswer> answer;
                    {
                        std::lock_guard guard(m_lock);
                        answer = m_device.Feed(buffer[i], NowMs());
                        ++m_received;
                        m_changed.notify_all();
                        if (m_device.AppliedWrites() != m_applied) {
                            m_applied = m_device.AppliedWrites();
                            dump = true;
                            m_changed.notify_all();
                        }
                    }
                    if (answer) {
                        TOutgoing o;
                        o.bytes = std::move(answer->bytes);
                        o.due = Clock::now() + Ms(answer->delayMs);
                        o.pauseAfter = answer->pauseAfter;
                        o.pauseMs = answer->pauseMs;
                        out.push_back(std::move(o));
                    }
                }
                if (dump && !m_options.dumpPath.empty()) {
                    std::lock_guard guard(m_lock);
                    m_device.SaveParameterFile(m_options.dumpPath);
                }
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // No program on the device end: look again later instead of spinning.
                masterBroken = true;
            }
        } else if (masterBroken) {
            masterBroken = false;
        }

        while (!out.empty() && Clock::now() >= out.front().due) {
            TOutgoing& o = out.front();
            const ssize_t n = ::write(m_master, &o.bytes[o.next], 1);
            if (n != 1) {
                o.due = Clock::now() + Ms(5); // the program is not reading
                break;
            }
            ++o.next;
            long sent;
            {
                std::lock_guard guard(m_lock);
                sent = ++m_sent;
                m_changed.notify_all();
            }
            if (hangupAfter >= 0 && sent >= hangupAfter) {
                HangUp();
                return;
            }
            o.due += byteTime;
            if (o.pauseAfter >= 0 && o.next == size_t(o.pauseAfter))
                o.due += Ms(o.pauseMs);
            if (o.next == o.bytes.size()) {
                const Clock::time_point end = o.due;
                out.pop_front();
                if (!out.empty())
                    out.front().due = std::max(out.front().due, end);
            }
        }

        if (charging && Clock::now() >= nextCharge) {
            std::lock_guard guard(m_lock);
            m_device.ChargeTick();
            nextCharge += Ms(m_options.chargeIntervalMs);
        }
    }
}

} // namespace varnosim
