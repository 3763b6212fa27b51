#pragma once

#include "config/ConfigDiff.h"
#include "config/ConfigImage.h"
#include "protocol/Exchange.h"
#include "protocol/Line.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <optional>
#include <vector>

// The conversation with the exchange: the read sequence block by block, the write
// sequence, the answer time-outs and the firmware gate, apart from any widget.
namespace device {

// What the sequences need from the window. Every call may process pending events
// (the status line does), so any handler can run inside it.
class TTransferView {
public:
    virtual void ShowMessage(int number, int severity, const QString& argument = {}) = 0;
    // Before every transfer: opens the port anew when it is not open (it could not
    // be opened, or the line went dead); false, with the reason shown, when it
    // still cannot be.
    virtual bool LineReady() = 0;
    virtual void SetControlsEnabled(bool enabled) = 0;
    // A block has been stored in the image: decode it onto the pages (the charge
    // block: evaluate it).
    virtual void BlockStored(config::Region region) = 0;
    // The last block of a complete read has been taken.
    virtual void ReadComplete() = 0;
    // A counter the user set (port 1..8) goes to the exchange as set, over the one
    // just read afresh: it is still the user's edit.
    virtual void CounterEditKept(int port, std::uint16_t value) = 0;
    // The basic block names another firmware: only help and end stay usable.
    virtual void FirmwareRefused() = 0;
    // A write sent its last message and has shown how it ended: `readBack` is the
    // image with the basic and terminal blocks as the exchange answered them after
    // the write; nullopt when it did not answer or the line refused a byte, so what
    // the exchange holds is unknown. Comes before the controls are given back.
    virtual void WriteChecked(const std::optional<config::ConfigImage>& readBack) = 0;
    // The transfer is over and another may start.
    virtual void TransferEnded() = 0;

protected:
    ~TTransferView() = default;
};

enum class TWriteResult {
    NotStarted,        // another transfer runs, or the port cannot be opened
    Written,           // and the exchange answered with what was written
    Differs,           // the exchange answered with another configuration
    NotChecked,        // the exchange did not answer the read-back
    LineRefused,       // a line byte could not be handed over
    ChargesNotWritten, // the counters could not be read afresh, so they were not sent
                       // (the configuration was read back as written)
    Aborted,           // stopped between two line bytes, the program is ending
    Refused,           // the image holds nothing fit to write (WriteBlocker says why)
};

// Why the image may not be written, if anything keeps it.
enum class TWriteBlocker {
    None,
    NotRead,   // basic and terminal block come from no complete read and no loaded file
    PortCount, // the port count is outside 1..8
};

// Per port 1..8 (index 0..7): the counter the user set since the last read, if any.
using TCounterEdits = std::array<std::optional<std::uint16_t>, exchange::kPorts>;

// One transfer at a time: a read or a write starts only while no other runs, and
// the sequence counts as running from its first step on, before it lets events in.
//
// Threading: the GUI thread only; the line delivers on that thread too.
class TTransferSequence {
public:
    // Which answer the next block is taken as; after a write nothing is awaited.
    enum State { BasicBlock = 0, TerminalBlock = 1, ChargeBlock = 2, WriteRan = 3 };

    static constexpr int kBasicTimeout = 10, kTerminalTimeout = 10, kChargeTimeout = 5;
    static constexpr int kMessagePauseMs = 1000; // between two write messages
    static constexpr int kFreshReadLimitMs = 3 * kChargeTimeout * 1000;

    TTransferSequence(TLine& line, config::ConfigImage& image, TTransferView& view);

    // The port name the failure messages quote ("COM1" ... "COM4").
    void SetPortName(const QString& name) { m_portName = name; }
    // The names of ports 21..28 a difference found after a write is told with.
    void SetPortNames(const config::PortNames& names) { m_portNames = names; }

    bool Busy() const { return m_phase != Phase::Idle; }
    bool Writing() const { return m_phase == Phase::Writing; }
    State CurrentState() const { return m_state; }
    // Seconds until the pending answer is given up; -1 when none is pending.
    int TimeoutLeft() const { return m_timeout; }

    // What keeps a write from starting, apart from a transfer running.
    TWriteBlocker WriteBlocker() const;
    // The image now holds a loaded parameter file: fit to write.
    void ImageLoaded() { m_imageFit = true; }
    // The port leads to another device: what was read from the last one is not
    // written to this one.
    void ForgetImage() { m_imageFit = false; }

    // Starts the read sequence with the basic block; false (and nothing done) while
    // another transfer runs or the port cannot be opened.
    bool StartRead();
    // Runs the whole write sequence of ports 1..portCount and returns at its end;
    // refused with a red message, nothing sent, while WriteBlocker names a reason.
    // Right before the charge message the counters are read afresh, so the exchange
    // keeps what it counted since the last read; `edits` go over them as set. At the
    // end the basic and terminal blocks are read back and compared with what was
    // sent: the exchange acknowledges nothing, so this is the only proof.
    TWriteResult Write(int portCount, const TCounterEdits& edits = {});
    // Ends a running write between two line bytes; used when the program ends.
    void Abort() { m_abort = true; }
    // Holds the line, while idle, for a transfer about to start once the caller's
    // handler has returned (a scheduled load): every start is refused until Release.
    bool Reserve();
    void Release();

    // One completed read of the line.
    void Receive(QByteArrayView answer);
    // The time-out duty of the one-second timer.
    void Tick();

private:
    enum class Phase { Idle, Reserved, Reading, Writing };
    void Request(int message, State state, std::uint8_t code, int timeout);
    // The framed answer of the awaited block in what arrived, logged; empty when none.
    QByteArray FramedAnswer(QByteArrayView block, State state, int maxDataBytes);
    void Finish();
    bool SendMessage(QByteArrayView message);
    bool Pause(int milliseconds);
    // Asks for one block in the middle of a write and waits for it, the one-second
    // timer counting its time-out; empty when none came or the write is aborted.
    QByteArray ReadInsideWrite(State state, std::uint8_t code, int timeout);
    bool ReadChargesAfresh();
    std::optional<config::ConfigImage> ReadBack();

    TLine& m_line;
    config::ConfigImage& m_image;
    TTransferView& m_view;
    QString m_portName;
    Phase m_phase = Phase::Idle;
    State m_state = BasicBlock;
    bool m_awaiting = false; // a request went out and its answer has not been taken
    int m_timeout = -1;
    bool m_abort = false;
    bool m_freshAwaited = false; // the write waits for a block it asked for
    State m_freshState = ChargeBlock;
    QByteArray m_fresh;
    config::PortNames m_portNames;
    // Basic and terminal block come from one read of firmware 1.93 or from a loaded file.
    bool m_imageFit = false;
};

// The data bytes of the answer awaited in that state (113, 195, 132).
int AnswerDataBytes(TTransferSequence::State state);

// The one firmware the program works with.
bool IsSupportedFirmware(const config::ConfigImage& image);

// What differs between a configuration as written and as the exchange holds it,
// leaving out the firmware, which the exchange sets itself: empty when it took
// everything the write sends.
std::vector<config::ConfigChange> WriteDifferences(const config::ConfigImage& written,
                                                   const config::ConfigImage& held,
                                                   const config::PortNames& names = {});

} // namespace device
