#include "platform/EndSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};                 // one object at a time owns it
volatile std::sig_atomic_t g_graceMs = 0; // 0: no deadline
volatile std::sig_atomic_t g_firstSignal = 0;

void Deadline(int) {
    ::_exit(128 + g_firstSignal);
}

} // namespace

TEndSignals::TEndSignals(QObject* parent) : QObject(parent) {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { Drain(); });
    struct sigaction action {};
    action.sa_handler = &TEndSignals::Handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &m_previous[i]);
}

TEndSignals::~TEndSignals() {
    if (!m_notifier)
        return;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    if (g_graceMs != 0) {
        const itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::signal(SIGALRM, SIG_DFL);
        g_graceMs = 0;
    }
    g_firstSignal = 0;
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TEndSignals::EndWithin(int ms) {
    if (!m_notifier || ms <= 0)
        return;
    struct sigaction action {};
    action.sa_handler = &Deadline;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    g_graceMs = ms;
}

void TEndSignals::Handler(int signalNumber) {
    // Only async-signal-safe calls here; errno belongs to the interrupted code.
    const int saved = errno;
    if (g_firstSignal == 0) {
        g_firstSignal = signalNumber;
        // The clean end runs on the GUI thread; should that thread be stuck, the
        // timer ends the process all the same (the lock goes with it).
        if (g_graceMs != 0) {
            itimerval deadline{};
            deadline.it_value.tv_sec = g_graceMs / 1000;
            deadline.it_value.tv_usec = (g_graceMs % 1000) * 1000;
            ::setitimer(ITIMER_REAL, &deadline, nullptr);
        }
    }
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    (void)!::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void TEndSignals::Drain() {
    unsigned char byte = 0;
    int last = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        last = byte;
    if (last != 0)
        emit EndRequested(last);
}

} // namespace platform
