#pragma once

#include "protocol/Line.h"
#include "serial/LineAccess.h"
#include "serial/PortFailure.h"
#include "serial/PortName.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <termios.h>

namespace serial {
class TReadThread;
class TWriteThread;
class TCommMessageWindow;
struct TInputGate;
} // namespace serial

// Raised only by OpenPort; every other serial fault goes to the comms log. Besides
// its fixed text it says why, for the user: the system's error number, what that
// means for a serial port, and the device path that was tried.
class ECommsError : public std::runtime_error {
public:
    explicit ECommsError(const char* text,
                         serial::TPortFailure failure = serial::TPortFailure::Other, int error = 0,
                         QString device = QString())
        : std::runtime_error(text), m_failure(failure), m_error(error),
          m_device(std::move(device)) {}
    serial::TPortFailure Failure() const { return m_failure; }
    int Errno() const { return m_error; }
    const QString& Device() const { return m_device; }

private:
    serial::TPortFailure m_failure;
    int m_error;
    QString m_device;
};

enum class TBaudrate : uint8_t { bd_19200, bd_9600, bd_4800, bd_2400, bd_1200, bd_600, bd_300 };
enum class TParity : uint8_t { none, odd, even, mark, space };
enum class TStopbits : uint8_t { Stopbit1, Stopbit15, Stopbit2 };

// Owns one serial port: opens and configures it, runs a reader and a writer
// thread, and hands every received block to the owner.
//
// Threading contract:
// - Construct, use and destroy the component on one thread with a Qt event loop
//   (the GUI thread). All public members are for that thread only.
// - SendData copies the bytes and queues them for the writer thread, which writes
//   the requests strictly in posting order; it never blocks on the line.
// - The reader thread posts each completed read (and each line-error report) as an
//   event to a hidden QObject living on the owner's thread. OnReceiveData and
//   OnRequestHangup therefore run on the owner's thread, whenever it processes
//   events, nested event processing included. The buffer is valid only during the
//   call and is followed by one zero byte.
// - ClosePort sets one close event that ends every blocking wait of both threads,
//   then joins them; blocks already posted are still delivered afterwards.
class TComm32 : public QObject, public device::TLine {
    Q_OBJECT
    Q_PROPERTY(QString CommPort READ CommPort WRITE SetCommPort)
    Q_PROPERTY(QString CommsLogFileName READ CommsLogFileName WRITE SetCommsLogFileName)
    Q_PROPERTY(int BaudRate READ BaudRateValue)
    Q_PROPERTY(int Databits READ Databits WRITE SetDatabits)
    Q_PROPERTY(int Flags READ Flags WRITE SetFlags)
    Q_PROPERTY(int ReadTimeout READ ReadTimeout WRITE SetReadTimeout)

public:
    using TReceiveDataEvent = std::function<void(const char* buffer, uint16_t bufferLength)>;
    using TNotifyEvent = std::function<void(TComm32* sender)>;

    explicit TComm32(QObject* parent = nullptr);
    ~TComm32() override;

    // Throws ECommsError; false only when the close event cannot be created.
    bool OpenPort();
    // Puts the line settings found at open back, so a shared adapter is left as it was.
    void ClosePort();
    bool IsOpen() const override { return m_port >= 0; }
    // Why the last OpenPort failed; None after one that succeeded.
    serial::TPortFailure LastFailure() const { return m_lastFailure; }
    int LastErrno() const { return m_lastErrno; }

    // Copies the bytes and queues them for the writer; false when there is none.
    bool SendData(const char* data, int length);
    bool SendData(const QByteArray& data) { return Send(data); }

    // The line as the transfer sequences use it. Open throws ECommsError; the
    // listener is served through the three events below.
    void Open(const QString& portName) override;
    void Close() override { ClosePort(); }
    bool Send(QByteArrayView bytes) override;
    // Queued like any request; the writer keeps it device::kMinPacedGapMs (of a
    // pacing step of device::kPacingStepMs) after the paced byte before.
    bool SendPaced(char byte) override;
    // Empties the driver's input buffer and drops whatever the reader holds or has
    // posted and not yet delivered (logged as dropped).
    void FlushInput() override;
    void Log(const QString& text) override;
    void SetListener(device::TLineListener* listener) override;

    TReceiveDataEvent OnReceiveData;
    // Line-error reports ("Comm Event: ..."). Unassigned, they arrive through
    // OnReceiveData like received bytes.
    std::function<void(const QString& report)> OnLineError;
    TNotifyEvent OnRequestHangup;

    TBaudrate BaudRate() const { return m_baudRate; }
    void SetBaudRate(TBaudrate rate) { m_baudRate = rate; }
    int BaudRateValue() const;
    int Databits() const { return m_databits; }
    void SetDatabits(int bits) { m_databits = uint8_t(bits); }
    TParity Parity() const { return m_parity; }
    void SetParity(TParity parity) { m_parity = parity; }
    TStopbits Stopbits() const { return m_stopbits; }
    void SetStopbits(TStopbits stopbits) { m_stopbits = stopbits; }
    int Flags() const { return m_flags; }
    void SetFlags(int flags) { m_flags = uint16_t(flags); }
    int ReadTimeout() const { return m_readTimeout; }
    void SetReadTimeout(int ms) { m_readTimeout = uint16_t(ms); }
    QString CommPort() const { return m_commPort; }
    void SetCommPort(const QString& port) { m_commPort = port; }
    QString CommsLogFileName() const { return m_commsLogFileName; }
    // Also sets the process-wide log name, as the log is shared by all instances.
    void SetCommsLogFileName(const QString& path);

    // How "COM1".."COM4" become device paths; by default the settings file.
    void SetPortLookup(serial::TPortLookup lookup) { m_portLookup = std::move(lookup); }
    // Error counters and modem lines; tests stand in for a real UART here.
    void SetLineAccess(std::shared_ptr<serial::TLineAccess> access);
    // Runs on the writer thread right before each paced byte is written; from the
    // next open on. Tests hold the writer up here.
    void SetPacedWriteHook(std::function<void()> hook) { m_pacedWriteHook = std::move(hook); }

    // Session end: the session may always end; at its end the port is closed.
    bool QueryEndSession() const { return true; }
    void EndSession();

    // Bound on OpenPort's wait for the writer to become ready.
    static constexpr int WriterReadyTimeoutMs = 5000;
    static constexpr int ThreadStopTimeoutMs = 10000;

private:
    friend class serial::TCommMessageWindow;
    void Deliver(const char* buffer, uint16_t count, bool lineError, uint64_t generation);
    bool Queue(const char* data, int length, std::chrono::microseconds gap);
    void Hangup();
    void ReleasePort();
    [[noreturn]] void Refuse(const char* text, serial::TPortFailure failure, int error,
                             const QString& device);

    std::unique_ptr<serial::TReadThread> m_readThread;
    std::unique_ptr<serial::TWriteThread> m_writeThread;
    QString m_commsLogFileName;
    QString m_commPort = QStringLiteral("COM2");
    int m_port = -1;
    bool m_lineDead = false; // hung up or vanished: nothing can be sent until reopened
    int m_closeEvent = -1;
    termios m_foundSettings{}; // as the port was before OpenPort changed it
    serial::TPortFailure m_lastFailure = serial::TPortFailure::None;
    int m_lastErrno = 0;
    serial::TCommMessageWindow* m_messageWindow = nullptr;
    TBaudrate m_baudRate = TBaudrate::bd_9600;
    uint8_t m_databits = 8;
    TParity m_parity = TParity::none;
    TStopbits m_stopbits = TStopbits::Stopbit1;
    uint16_t m_flags = 4097;
    uint16_t m_readTimeout = 100;
    serial::TPortLookup m_portLookup = serial::SettingsPortLookup;
    std::shared_ptr<serial::TLineAccess> m_lineAccess;
    std::shared_ptr<serial::TInputGate> m_inputGate;
    std::function<void()> m_pacedWriteHook;
};
