#include "serial/CommThreads.h"

#include "serial/CommLog.h"

#include <QCoreApplication>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

using Clock = std::chrono::steady_clock;

// Raising priority needs privileges; refusal is harmless at 9600 baud.
void TryRaisePriority(int niceDelta) {
    errno = 0;
    int current = ::getpriority(PRIO_PROCESS, 0);
    if (errno == 0)
        (void)::setpriority(PRIO_PROCESS, ::gettid(), current - niceDelta);
}

bool DeviceVanished(int error) {
    return error == EIO || error == ENXIO || error == EBADF;
}

} // namespace

std::string DescribeLineErrors(uint32_t flags) {
    std::string text;
    auto add = [&text](const char* item) {
        if (!text.empty())
            text += " and ";
        text += item;
    };
    if (flags == 0)
        add("NULL Error");
    if (flags & 8)
        add("CE_FRAME");
    if (flags & 2)
        add("CE_OVERRUN");
    if (flags & 4)
        add("CE_RXPARITY");
    if (flags & ~uint32_t(2 | 4 | 8))
        add("EV_ERR Unknown EvtMask");
    return text.substr(0, 128);
}

std::string LineErrorReport(uint32_t flags) {
    return "Comm Event: " + DescribeLineErrors(flags) + ", EvtMask = " + std::to_string(flags);
}

// ---------------------------------------------------------------------------

TCommThread::~TCommThread() {
    if (m_thread.joinable())
        m_thread.join();
}

void TCommThread::Start() {
    m_thread = std::thread([this] {
        Execute();
        std::lock_guard guard(m_lock);
        m_finished = true;
        m_ended.notify_all();
    });
}

bool TCommThread::WaitFor(int ms) {
    std::unique_lock guard(m_lock);
    return m_ended.wait_for(guard, std::chrono::milliseconds(ms), [this] { return m_finished; });
}

void TCommThread::Join() {
    if (m_thread.joinable())
        m_thread.join();
}

bool TCommThread::Finished() {
    std::lock_guard guard(m_lock);
    return m_finished;
}

void TCommThread::Post(QEvent* event) {
    HandOver(event);
    QCoreApplication::postEvent(m_handles.messageWindow, event);
}

void TCommThread::PostHangupRequest() {
    Post(new QEvent(HangupMessage));
}

bool TCommThread::CloseEventSet() const {
    pollfd fd{m_handles.closeEvent, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0;
}

// ---------------------------------------------------------------------------

TReadThread::TReadThread(TThreadHandles handles, uint16_t readTimeout,
                         std::shared_ptr<TLineAccess> line, std::shared_ptr<TInputGate> gate)
    : TCommThread(handles), m_readTimeout(readTimeout), m_line(std::move(line)),
      m_gate(gate ? std::move(gate) : std::make_shared<TInputGate>()),
      m_generation(m_gate->generation.load()) {
    // Baseline taken before the thread runs, so errors right after opening count.
    m_haveCounters = m_line && m_line->ReadErrorCounters(handles.port, m_counters);
}

bool TReadThread::PostReceived(const char* data, size_t count) {
    if (count == 0)
        return false;
    CommLog("Got something from Comm port: " + std::to_string(count) + " Byte");
    std::unique_ptr<char[]> block(new (std::nothrow) char[count + 1]());
    if (!block) {
        LogSystemError("LocalAlloc: ", ENOMEM);
        return false;
    }
    std::memcpy(block.get(), data, count);
    Post(new TDataEvent(std::move(block), uint16_t(count), false, m_generation));
    return true;
}

void TReadThread::CheckLineErrors() {
    if (!m_haveCounters)
        return;
    TLineErrorCounters now;
    if (!m_line->ReadErrorCounters(m_handles.port, now))
        return;
    const uint32_t flags = LineErrorFlags(m_counters, now);
    m_counters = now;
    if (flags == 0)
        return;
    const std::string report = LineErrorReport(flags);
    std::unique_ptr<char[]> block(new (std::nothrow) char[256]());
    if (!block) {
        LogSystemError("LocalAlloc: ", ENOMEM);
        return;
    }
    std::memcpy(block.get(), report.data(), report.size());
    Post(new TDataEvent(std::move(block), uint16_t(report.size()), true));
}

void TReadThread::Execute() {
    TryRaisePriority(2);
    const int port = m_handles.port;

    char buffer[ReadBufferSize];
    size_t count = 0;
    Clock::time_point lastByte;
    const auto interval = std::chrono::milliseconds(m_readTimeout);
    CommLog("Waiting for data from comm connection.");

    for (;;) {
        timespec limit{};
        const timespec* timeout = nullptr;
        if (count > 0 && m_readTimeout > 0) {
            auto left = lastByte + interval - Clock::now();
            if (left < Clock::duration::zero())
                left = Clock::duration::zero();
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            limit.tv_sec = time_t(ns / 1000000000);
            limit.tv_nsec = long(ns % 1000000000);
            timeout = &limit;
        }
        pollfd fds[2] = {{m_handles.closeEvent, POLLIN, 0}, {port, POLLIN, 0}};
        const int woke = ::ppoll(fds, 2, timeout, nullptr);
        if (woke < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            LogSystemError("Read WAIT_FAILED: ", error);
            PostHangupRequest();
            break;
        }
        if (fds[0].revents) {
            DebugOutput("Time to Exit");
            break;
        }

        // Win32 serves the comm event before the read when both are signalled.
        CheckLineErrors();

        const short ready = fds[1].revents;
        if (ready & POLLNVAL) {
            CommLog(InvalidHandleLine);
            PostHangupRequest();
            break;
        }
        bool vanished = false;
        bool failed = false;
        if (ready & (POLLIN | POLLERR | POLLHUP)) {
            // Under the gate's lock, so a flush falls wholly before or after this read.
            std::lock_guard gate(m_gate->lock);
            if (const uint64_t now = m_gate->generation.load(); now != m_generation) {
                if (count > 0)
                    CommLog("Dropped " + std::to_string(count) + " bytes received before a flush");
                count = 0;
                m_generation = now;
            }
            size_t before = count;
            while (count < ReadBufferSize) {
                const ssize_t n = m_line
                                      ? m_line->Read(port, buffer + count, ReadBufferSize - count)
                                      : ::read(port, buffer + count, ReadBufferSize - count);
                if (n > 0) {
                    count += size_t(n);
                    lastByte = Clock::now();
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0 && errno == EAGAIN)
                    break;
                if (n == 0 || DeviceVanished(errno)) {
                    vanished = true;
                } else {
                    const int error = errno;
                    LogSystemError("Unexpected ReadFile error: ", error);
                    PostHangupRequest();
                    LogSystemError("Unable to HandleReadEvent: ", error);
                    failed = true;
                }
                break;
            }
            // A hang-up flag with nothing to read must end the reader, not spin it.
            if (!vanished && !failed && count == before && (ready & (POLLERR | POLLHUP)))
                vanished = true;
        }
        if (count == ReadBufferSize) {
            PostReceived(buffer, count);
            count = 0;
        }
        if (vanished || failed) {
            PostReceived(buffer, count);
            if (vanished)
                CommLog(InvalidHandleLine);
            PostHangupRequest();
            break;
        }
        if (count > 0 && m_readTimeout > 0 && Clock::now() >= lastByte + interval) {
            PostReceived(buffer, count);
            count = 0;
            CommLog("Waiting for data from comm connection.");
        }
    }

    CommLog("Read thread shutting down");
    (void)::tcflush(port, TCIFLUSH);
}

// ---------------------------------------------------------------------------

TWriteThread::TWriteThread(TThreadHandles handles, TPacedWriteHook hook)
    : TCommThread(handles), m_queueEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_queueError(m_queueEvent < 0 ? errno : 0), m_hook(std::move(hook)) {
}

TWriteThread::~TWriteThread() {
    Join();
    if (m_queueEvent >= 0)
        ::close(m_queueEvent);
}

bool TWriteThread::Post(std::unique_ptr<char[]> data, uint16_t length,
                        std::chrono::microseconds gap) {
    std::lock_guard guard(m_queueLock);
    if (m_ended || m_queueEvent < 0)
        return false;
    m_queue.push_back({std::move(data), length, gap});
    const uint64_t one = 1;
    return ::write(m_queueEvent, &one, sizeof one) == sizeof one || errno == EAGAIN;
}

bool TWriteThread::WaitReady(int ms) {
    std::unique_lock guard(m_queueLock);
    m_readyChanged.wait_for(guard, std::chrono::milliseconds(ms),
                            [this] { return m_ready || m_ended; });
    return m_ready;
}

bool TWriteThread::WriterReady() {
    std::lock_guard guard(m_queueLock);
    return m_ready;
}

void TWriteThread::Shutdown() {
    CommLog("Write thread shutting down");
    (void)::tcflush(m_handles.port, TCOFLUSH);
    std::lock_guard guard(m_queueLock);
    m_ended = true;
    m_queue.clear();
    m_readyChanged.notify_all();
}

void TWriteThread::Execute() {
    TryRaisePriority(1);
    if (m_queueEvent < 0) {
        LogSystemError("Unable to CreateEvent: ", m_queueError);
        PostHangupRequest();
        Shutdown();
        return;
    }
    for (;;) {
        TRequest request;
        bool taken = false;
        {
            std::lock_guard guard(m_queueLock);
            if (!m_queue.empty()) {
                request = std::move(m_queue.front());
                m_queue.pop_front();
                taken = true;
            } else if (!m_ready) {
                m_ready = true;
                m_readyChanged.notify_all();
            }
        }
        if (!taken) {
            pollfd fds[2] = {{m_handles.closeEvent, POLLIN, 0}, {m_queueEvent, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                LogSystemError("Write WAIT_FAILED: ", errno);
                PostHangupRequest();
                break;
            }
            if (fds[0].revents)
                break;
            uint64_t pending = 0;
            // Nothing left to take (EAGAIN) is as good as taken.
            [[maybe_unused]] const ssize_t drained = ::read(m_queueEvent, &pending, sizeof pending);
            continue;
        }
        if (CloseEventSet())
            break;
        const bool paced = request.gap > std::chrono::microseconds::zero();
        if (paced && !KeepPace(request.gap))
            break;
        CommLog("Writing to comm port");
        if (!WriteBlock(request.data.get(), request.length))
            break;
        // Counted from when the byte is out, so a write held up inside delays the next.
        if (paced)
            m_lastPaced = Clock::now();
    }
    Shutdown();
}

bool TWriteThread::KeepPace(std::chrono::microseconds gap) {
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (!m_lastPaced || now >= *m_lastPaced + gap) {
            if (m_hook)
                m_hook();
            return true;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*m_lastPaced + gap - now);
        pollfd fd{m_handles.closeEvent, POLLIN, 0};
        if (::poll(&fd, 1, int(left.count())) > 0)
            return false;
    }
}

bool TWriteThread::WriteBlock(const char* data, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(m_handles.port, data + done, length - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd fds[2] = {{m_handles.closeEvent, POLLIN, 0}, {m_handles.port, POLLOUT, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                LogSystemError("Write WAIT_FAILED: ", errno);
                PostHangupRequest();
                return false;
            }
            if (fds[0].revents)
                return false;
            if (fds[1].revents & POLLNVAL) {
                CommLog(InvalidHandleLine);
                return false;
            }
            continue;
        }
        const int error = n == 0 ? EIO : errno;
        if (DeviceVanished(error)) {
            // The reader reports the vanished device; one hang-up is enough.
            CommLog(InvalidHandleLine);
            return false;
        }
        LogSystemError("Error to writing to CommFile", error);
        CommLog("Closing TAPI");
        PostHangupRequest();
        return false;
    }
    return true;
}

} // namespace serial
