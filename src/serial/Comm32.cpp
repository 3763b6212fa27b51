#include "serial/Comm32.h"

#include "protocol/Line.h"
#include "serial/CommLog.h"
#include "serial/CommThreads.h"
#include "serial/LineSettings.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace serial {

// The hidden "message window": lives on the owner's thread and turns what the
// threads post into the owner's callbacks.
class TCommMessageWindow : public QObject {
public:
    explicit TCommMessageWindow(TComm32* owner) : m_owner(owner) {}

    bool event(QEvent* e) override {
        if (e->type() == DataMessage || e->type() == HangupMessage)
            TakeOver(e);
        if (e->type() == DataMessage) {
            auto* data = static_cast<TDataEvent*>(e);
            m_owner->Deliver(data->Buffer(), data->Count(), data->LineError(), data->Generation());
            return true;
        }
        if (e->type() == HangupMessage) {
            m_owner->Hangup();
            return true;
        }
        return QObject::event(e);
    }

private:
    TComm32* m_owner;
};

} // namespace serial

using namespace serial;

TComm32::TComm32(QObject* parent)
    : QObject(parent), m_messageWindow(new TCommMessageWindow(this)),
      m_lineAccess(DefaultLineAccess()), m_inputGate(std::make_shared<TInputGate>()) {
    SetCommsLogName(QString());
    if (auto* app = QCoreApplication::instance()) {
        // Session end: Qt quits the application, which closes the port.
        connect(app, &QCoreApplication::aboutToQuit, m_messageWindow, [this] { EndSession(); });
    }
}

TComm32::~TComm32() {
    ClosePort();
    delete m_messageWindow;
}

int TComm32::BaudRateValue() const {
    static const int table[] = {19200, 9600, 4800, 2400, 1200, 600, 300};
    const auto index = size_t(m_baudRate);
    return index < std::size(table) ? table[index] : 0;
}

void TComm32::SetCommsLogFileName(const QString& path) {
    m_commsLogFileName = path;
    SetCommsLogName(path);
}

void TComm32::SetLineAccess(std::shared_ptr<TLineAccess> access) {
    m_lineAccess = access ? std::move(access) : DefaultLineAccess();
}

void TComm32::EndSession() {
    if (IsOpen())
        ClosePort();
}

bool TComm32::OpenPort() {
    if (m_port >= 0)
        throw ECommsError("Already have a comm file open");
    m_lineDead = false;
    if (!m_commsLogFileName.isEmpty())
        OpenCommsLog();

    const QString device = ResolveCommPort(m_commPort, m_portLookup);
    const QByteArray path = QFile::encodeName(device);
    // Only a character device is opened at all, so a regular file named by mistake
    // is never opened for writing.
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        Refuse("Error opening com port", ClassifyOpenError(errno), errno, device);
    if (!S_ISCHR(info.st_mode))
        Refuse("File handle is not a comm handle. ", TPortFailure::NotSerial,
               S_ISDIR(info.st_mode) ? EISDIR : ENOTTY, device);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Refuse("Error opening com port", ClassifyOpenError(errno), errno, device);
    // Exclusive like CreateFile without sharing: flock binds root as well.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        Refuse("Error opening com port", TPortFailure::Busy, error, device);
    }
    termios tio{};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || ::tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        Refuse("File handle is not a comm handle. ", TPortFailure::NotSerial, ENOTTY, device);
    }
    m_foundSettings = tio;
    (void)::ioctl(fd, TIOCEXCL);
    m_port = fd;

    ApplyLineSettings(tio, m_baudRate, m_databits, m_parity, m_stopbits, m_flags);
    char line[160];
    std::snprintf(line, sizeof line, "Port %s, Bytesize %d, Parity %d, StopBits %d, Flags %d",
                  m_commPort.toLocal8Bit().constData(), int(m_databits), int(m_parity),
                  int(m_stopbits), int(m_flags));
    CommLog(line);
    (void)::tcsetattr(fd, TCSANOW, &tio);
    // A byte left on the line from before (a relay restarted mid-answer, a glitch
    // while plugging in) is no part of any answer; nor is a block of the last open
    // still queued for delivery.
    {
        std::lock_guard gate(m_inputGate->lock);
        (void)::tcflush(fd, TCIFLUSH);
        ++m_inputGate->generation;
    }
    bool rts = false, dtr = false;
    ModemLinesOf(m_flags, rts, dtr);
    m_lineAccess->SetModemLines(fd, rts, dtr);

    m_closeEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_closeEvent < 0) {
        m_lastFailure = TPortFailure::Other;
        m_lastErrno = errno;
        LogSystemError("Unable to CreateEvent: ", m_lastErrno);
        ReleasePort();
        return false;
    }
    const TThreadHandles handles{m_port, m_closeEvent, m_messageWindow};

    try {
        m_readThread =
            std::make_unique<TReadThread>(handles, m_readTimeout, m_lineAccess, m_inputGate);
        m_readThread->Start();
    } catch (const std::system_error& e) {
        LogSystemError("Unable to create Read thread", e.code().value());
        m_readThread.reset();
        ClosePort();
        m_lastFailure = TPortFailure::Other;
        m_lastErrno = e.code().value();
        throw ECommsError("Unable to create Read thread", m_lastFailure, m_lastErrno, device);
    }
    CommLog("Read thread created");

    bool writerReady = false;
    try {
        m_writeThread = std::make_unique<TWriteThread>(handles, m_pacedWriteHook);
        m_writeThread->Start();
        CommLog("Write thread created");
        writerReady = m_writeThread->WaitReady(WriterReadyTimeoutMs);
        if (!writerReady)
            CommLog("Unable to create Write thread");
    } catch (const std::system_error& e) {
        LogSystemError("Unable to create Write thread", e.code().value());
        m_writeThread.reset();
    }
    if (!writerReady) {
        // A half-open component would keep the port locked for nothing.
        ClosePort();
        m_lastFailure = TPortFailure::Other;
        m_lastErrno = EAGAIN;
        throw ECommsError("Unable to create Write thread", m_lastFailure, m_lastErrno, device);
    }
    m_lastFailure = TPortFailure::None;
    m_lastErrno = 0;
    return true;
}

// An open that failed before the port was ours: the comms log gets the system's word.
void TComm32::Refuse(const char* text, TPortFailure failure, int error, const QString& device) {
    m_lastFailure = failure;
    m_lastErrno = error;
    LogSystemError(std::string(text) + " (" + QFile::encodeName(device.left(256)).toStdString() +
                       "): ",
                   error);
    throw ECommsError(text, failure, error, device);
}

void TComm32::ClosePort() {
    if (m_port < 0)
        return;
    CommLog("Stopping the Comm");
    const uint64_t one = 1;
    if (m_readThread) {
        CommLog("Closing Read Thread ");
        // Without the event the thread still ends, at its wait's time-out.
        if (m_closeEvent >= 0 && ::write(m_closeEvent, &one, sizeof one) != sizeof one)
            CommLog("Close event not set");
        (void)::tcflush(m_port, TCIFLUSH);
        if (!m_readThread->WaitFor(ThreadStopTimeoutMs))
            CommLog("Read thread not exiting.  Terminating it.");
        m_readThread->Join();
        m_readThread.reset();
    }
    if (m_writeThread) {
        CommLog("Closing Write Thread");
        if (m_closeEvent >= 0 && ::write(m_closeEvent, &one, sizeof one) != sizeof one)
            CommLog("Close event not set");
        (void)::tcflush(m_port, TCOFLUSH);
        if (!m_writeThread->WaitFor(ThreadStopTimeoutMs))
            CommLog("Write thread not exiting.  Terminating it.");
        m_writeThread->Join();
        m_writeThread.reset();
    }
    ReleasePort();
    if (!m_commsLogFileName.isEmpty())
        CloseCommsLog();
}

void TComm32::ReleasePort() {
    if (m_closeEvent >= 0)
        ::close(m_closeEvent);
    m_closeEvent = -1;
    // Pending output would make close() wait for the line to drain.
    (void)::tcflush(m_port, TCIOFLUSH);
    // After a hang-up this fails; there is nothing left to restore then.
    (void)::tcsetattr(m_port, TCSANOW, &m_foundSettings);
    (void)::ioctl(m_port, TIOCNXCL);
    ::close(m_port);
    m_port = -1;
}

void TComm32::Open(const QString& portName) {
    SetCommPort(portName);
    OpenPort();
}

bool TComm32::Send(QByteArrayView bytes) {
    if (bytes.size() > 0xFFFF) {
        CommLog("Failed to Post to Write thread");
        return false;
    }
    return SendData(bytes.data(), int(bytes.size()));
}

void TComm32::SetListener(device::TLineListener* listener) {
    if (!listener) {
        OnReceiveData = nullptr;
        OnLineError = nullptr;
        OnRequestHangup = nullptr;
        return;
    }
    OnReceiveData = [listener](const char* buffer, uint16_t length) {
        listener->LineData(QByteArrayView(buffer, length));
    };
    OnLineError = [listener](const QString& report) { listener->LineError(report); };
    OnRequestHangup = [listener](TComm32*) { listener->LineLost(); };
}

bool TComm32::SendPaced(char byte) {
    // Nine tenths of the pacing step: 45 ms in the program; tests that shorten the
    // step shorten the gap with it.
    const auto gap = std::chrono::duration_cast<std::chrono::microseconds>(device::PacingStep()) *
                     device::kMinPacedGapMs / device::kPacingStepMs;
    return Queue(&byte, 1, std::max(gap, std::chrono::microseconds(1)));
}

void TComm32::FlushInput() {
    if (m_port < 0)
        return;
    std::lock_guard gate(m_inputGate->lock);
    (void)::tcflush(m_port, TCIFLUSH);
    ++m_inputGate->generation;
}

void TComm32::Log(const QString& text) {
    CommLog(text.toStdString());
}

bool TComm32::SendData(const char* data, int length) {
    return Queue(data, length, std::chrono::microseconds::zero());
}

bool TComm32::Queue(const char* data, int length, std::chrono::microseconds gap) {
    if (!m_writeThread || m_lineDead) {
        CommLog("Write thread not created");
        return false;
    }
    if (length < 0 || length > 0xFFFF || (length > 0 && !data)) {
        CommLog("Failed to Post to Write thread");
        return false;
    }
    std::unique_ptr<char[]> buffer(new char[size_t(length) + 1]());
    if (length > 0)
        std::memcpy(buffer.get(), data, size_t(length));
    if (!m_writeThread->Post(std::move(buffer), uint16_t(length), gap)) {
        CommLog("Failed to Post to Write thread");
        return false;
    }
    return true;
}

void TComm32::Deliver(const char* buffer, uint16_t count, bool lineError, uint64_t generation) {
    if (!lineError && generation != m_inputGate->generation.load()) {
        CommLog("Dropped " + std::to_string(count) + " bytes received before a flush");
        return;
    }
    if (lineError && OnLineError) {
        // An owner that takes reports apart keeps them out of its answer path;
        // the comms log still has them.
        CommLog(std::string(buffer, count));
        OnLineError(QString::fromLatin1(buffer, count));
        return;
    }
    if (!CommsLogName().isEmpty()) {
        static const char hex[] = "0123456789ABCDEF";
        std::string line;
        for (uint16_t i = 0; i < count; ++i) {
            const auto byte = uint8_t(buffer[i]);
            line += hex[byte >> 4];
            line += hex[byte & 15];
            line += ' ';
            if ((i + 1) % 20 == 0 || i + 1 == count) {
                CommLog(line);
                line.clear();
            }
        }
    }
    if (OnReceiveData)
        OnReceiveData(buffer, count);
}

void TComm32::Hangup() {
    m_lineDead = true;
    if (OnRequestHangup)
        OnRequestHangup(this);
}
