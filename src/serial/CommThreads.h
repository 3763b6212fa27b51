#pragma once

#include "serial/LineAccess.h"

#include <QEvent>
#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#if defined(__SANITIZE_THREAD__)
#define WINVARNO_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WINVARNO_TSAN 1
#endif
#endif
#ifdef WINVARNO_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace serial {

// What the threads post to the component's message window.
inline constexpr QEvent::Type DataMessage = QEvent::Type(QEvent::User + 1);
inline constexpr QEvent::Type HangupMessage = QEvent::Type(QEvent::User + 2);

// One completed read (or a line-error report): `count` bytes followed by a zero byte.
// The event owns the block, so a block still queued when the window dies is freed too.
class TDataEvent : public QEvent {
public:
    TDataEvent(std::unique_ptr<char[]> block, uint16_t count, bool lineError = false,
               uint64_t generation = 0)
        : QEvent(DataMessage), m_block(std::move(block)), m_count(count), m_lineError(lineError),
          m_generation(generation) {}
    const char* Buffer() const { return m_block.get(); }
    uint16_t Count() const { return m_count; }
    // The block is a line-error report, not received bytes.
    bool LineError() const { return m_lineError; }
    // The input generation its first byte was read in (see TInputGate).
    uint64_t Generation() const { return m_generation; }

private:
    std::unique_ptr<char[]> m_block;
    uint16_t m_count;
    bool m_lineError;
    uint64_t m_generation;
};

// Input flushes between the owner and the reader. A flush empties the driver's
// buffer and starts a new generation under the lock; the reader reads only under
// it, drops what it holds from an older generation, and tags every block it posts,
// so nothing received before a flush is ever delivered after it.
struct TInputGate {
    std::mutex lock;
    std::atomic<uint64_t> generation{0};
};

// Called by the writer right before a paced byte is written, after its gap; tests
// stall the writer here on purpose.
using TPacedWriteHook = std::function<void()>;

// Qt hands a posted event over under a lock of its own, which ThreadSanitizer
// cannot see when Qt is not built with it. The poster releases the event and the
// receiver acquires it, so the thread's writes are ordered before the owner's reads.
inline void HandOver(QEvent* event) {
#ifdef WINVARNO_TSAN
    __tsan_release(event);
#else
    (void)event;
#endif
}
inline void TakeOver(QEvent* event) {
#ifdef WINVARNO_TSAN
    __tsan_acquire(event);
#else
    (void)event;
#endif
}

// The three handles a thread is given before it starts.
struct TThreadHandles {
    int port = -1;
    int closeEvent = -1; // eventfd; readable once set, never reset
    QObject* messageWindow = nullptr;
};

// "CE_FRAME and CE_OVERRUN" and friends, in the order the log reader expects.
std::string DescribeLineErrors(uint32_t flags);
std::string LineErrorReport(uint32_t flags);

inline constexpr const char* InvalidHandleLine =
    "ERROR_INVALID_HANDLE, Likely that the Service Provider has closed the port.";

// A thread object in the framework's sense: owns its body and can be waited for
// with a time limit; neither thread ever frees itself.
class TCommThread {
public:
    explicit TCommThread(TThreadHandles handles) : m_handles(handles) {}
    virtual ~TCommThread();
    TCommThread(const TCommThread&) = delete;
    TCommThread& operator=(const TCommThread&) = delete;

    // Throws std::system_error when the thread cannot be created.
    void Start();
    // True once the body has ended (within `ms`).
    bool WaitFor(int ms);
    void Join();
    bool Finished();

protected:
    virtual void Execute() = 0;
    void PostHangupRequest();
    void Post(QEvent* event);
    bool CloseEventSet() const;
    TThreadHandles m_handles;

private:
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_ended;
    bool m_finished = false;
};

// Keeps one read pending: waits without limit for the first byte, then completes
// after more than `readTimeout` ms of silence or at 2048 bytes.
class TReadThread : public TCommThread {
public:
    static constexpr size_t ReadBufferSize = 2048;
    TReadThread(TThreadHandles handles, uint16_t readTimeout, std::shared_ptr<TLineAccess> line,
                std::shared_ptr<TInputGate> gate);

protected:
    void Execute() override;

private:
    bool PostReceived(const char* data, size_t count);
    void CheckLineErrors();

    uint16_t m_readTimeout;
    std::shared_ptr<TLineAccess> m_line;
    std::shared_ptr<TInputGate> m_gate;
    uint64_t m_generation = 0; // of the bytes held in the read buffer
    bool m_haveCounters = false;
    TLineErrorCounters m_counters;
};

// Writes queued requests strictly in order, one only after the previous is out.
// A paced request (one line byte of a write) leaves at least its gap after the paced
// one before it: when the thread was held up and finds several queued, a late byte
// delays the next one instead of the bytes going out bunched.
class TWriteThread : public TCommThread {
public:
    explicit TWriteThread(TThreadHandles handles, TPacedWriteHook hook = {});
    ~TWriteThread() override;

    // Hands a block to the writer; false once the writer has ended. A paced one
    // (gap > 0) leaves at least `gap` after the paced one before.
    bool Post(std::unique_ptr<char[]> data, uint16_t length,
              std::chrono::microseconds gap = std::chrono::microseconds::zero());
    // Waits until the writer first idles on an empty queue; false on time-out or
    // when the writer ended before that.
    bool WaitReady(int ms);
    bool WriterReady();

protected:
    void Execute() override;

private:
    struct TRequest {
        std::unique_ptr<char[]> data;
        uint16_t length = 0;
        std::chrono::microseconds gap{0};
    };
    bool WriteBlock(const char* data, size_t length);
    // Waits out the gap after the last paced byte; false when the close event came.
    bool KeepPace(std::chrono::microseconds gap);
    void Shutdown();

    int m_queueEvent = -1;
    int m_queueError = 0; // errno is per thread: kept from the constructor
    std::mutex m_queueLock;
    std::condition_variable m_readyChanged;
    std::deque<TRequest> m_queue;
    bool m_ready = false;
    bool m_ended = false;
    TPacedWriteHook m_hook;
    std::optional<std::chrono::steady_clock::time_point> m_lastPaced;
};

} // namespace serial
