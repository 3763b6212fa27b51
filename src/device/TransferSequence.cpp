#include "device/TransferSequence.h"

#include "app/Catalogue.h"
#include "device/Commands.h"
#include "device/Exchange.h"
#include "device/PacedSend.h"

#include <algorithm>

namespace device {

namespace meldung = catalogue::meldung;
namespace stufe = catalogue::stufe;

qsizetype FullAnswerLength(TTransferSequence::State state) {
    switch (state) {
    case TTransferSequence::BasicBlock:
        return exchange::LineBytesCarrying(exchange::DataBytes(exchange::kBasicSize));
    case TTransferSequence::TerminalBlock:
        return exchange::LineBytesCarrying(exchange::DataBytes(exchange::kTerminalSize));
    case TTransferSequence::ChargeBlock:
        return exchange::LineBytesCarrying(exchange::DataBytes(exchange::kChargeSize));
    case TTransferSequence::WriteRan:
        break;
    }
    return 0;
}

bool IsSupportedFirmware(const config::ConfigImage& image) {
    // The page shows "%d.%d"; only 1.93 reads as "1.93".
    return image.FirmwareMajor() == 1 && image.FirmwareMinor() == 93;
}

TTransferSequence::TTransferSequence(TLine& line, config::ConfigImage& image, TTransferView& view)
    : m_line(line), m_image(image), m_view(view) {
}

bool TTransferSequence::StartRead() {
    if (Busy())
        return false;
    // Busy from here on: the status message below lets events in.
    m_phase = Phase::Reading;
    m_view.ShowMessage(meldung::GrundLesen, stufe::Fortschritt);
    m_view.SetControlsEnabled(false);
    Request(-1, BasicBlock, command::ReadBasicBlock, kBasicTimeout);
    return true;
}

bool TTransferSequence::Reserve() {
    if (Busy())
        return false;
    m_phase = Phase::Reserved;
    return true;
}

void TTransferSequence::Release() {
    if (m_phase == Phase::Reserved)
        m_phase = Phase::Idle;
}

void TTransferSequence::Request(int message, State state, std::uint8_t code, int timeout) {
    if (message >= 0)
        m_view.ShowMessage(message, stufe::Fortschritt);
    m_state = state;
    m_awaiting = true;
    if (!m_line.Send(ReadRequest(code)))
        m_view.ShowMessage(meldung::NichtBeschrieben, stufe::Fehler, m_portName);
    m_timeout = timeout;
}

void TTransferSequence::Finish() {
    m_phase = Phase::Idle;
    m_view.TransferEnded();
}

void TTransferSequence::Receive(QByteArrayView answer) {
    // During and after a write nothing is awaited, nor after a complete read.
    if (m_phase == Phase::Writing || m_state == WriteRan || !m_awaiting)
        return;
    if (answer.size() < FullAnswerLength(m_state))
        return;
    m_timeout = -1;
    m_awaiting = false;
    if (m_phase == Phase::Idle) {
        // An answer after its time-out still counts, and the sequence goes on.
        m_phase = Phase::Reading;
        m_view.SetControlsEnabled(false);
    }
    switch (m_state) {
    case BasicBlock:
        m_image.StoreAnswer(config::Region::Basic, answer);
        m_view.BlockStored(config::Region::Basic);
        if (IsSupportedFirmware(m_image)) {
            Request(meldung::EndgeraeteLesen, TerminalBlock, command::ReadTerminalBlock,
                    kTerminalTimeout);
        } else {
            m_view.ShowMessage(meldung::FalscheFirmware, stufe::Fehler);
            m_view.FirmwareRefused();
            Finish();
        }
        break;
    case TerminalBlock:
        m_image.StoreAnswer(config::Region::Terminal, answer);
        m_view.BlockStored(config::Region::Terminal);
        Request(meldung::GebuehrenLesen, ChargeBlock, command::ReadChargeBlock, kChargeTimeout);
        break;
    case ChargeBlock:
        m_image.StoreAnswer(config::Region::Charge, answer);
        m_view.BlockStored(config::Region::Charge);
        m_view.ReadComplete();
        m_view.SetControlsEnabled(true);
        Finish();
        break;
    case WriteRan:
        break;
    }
}

void TTransferSequence::Tick() {
    if (m_timeout > 0 && --m_timeout == 0 && m_phase == Phase::Reading) {
        m_view.ShowMessage(meldung::Kommunikationsfehler, stufe::Fehler);
        m_view.SetControlsEnabled(true);
        Finish();
    }
}

bool TTransferSequence::SendMessage(QByteArrayView message) {
    // A byte that cannot be handed over is lost; the sequence goes on regardless,
    // since the exchange takes the messages without answering.
    bool all = true;
    SendFramed(
        message, [this, &all](char byte) { all = m_line.Send(QByteArrayView(&byte, 1)) && all; },
        [this] { return m_abort; });
    return all;
}

bool TTransferSequence::Pause(int milliseconds) {
    return PacedWait(milliseconds, [this] { return m_abort; });
}

TWriteResult TTransferSequence::Write(int portCount) {
    if (Busy())
        return TWriteResult::NotStarted;
    m_phase = Phase::Writing;
    m_abort = false;
    m_awaiting = false;
    m_view.SetControlsEnabled(false);
    m_state = WriteRan;
    m_view.ShowMessage(meldung::GrundSchreiben, stufe::Fortschritt);

    auto stopped = [this] {
        if (!m_abort)
            return false;
        m_phase = Phase::Idle;
        return true;
    };
    // The code goes into byte 0 of the block, which is then sent from its start.
    const auto basic = m_image.BasicBlock();
    basic[0] = command::WriteBasicBlock;
    bool handedOver = SendMessage(QByteArrayView(basic.data(), BasicBlockMessageLength));
    Pause(kMessagePauseMs);

    for (int p = 1; p <= std::clamp(portCount, 0, exchange::kPorts); ++p) {
        if (stopped())
            return TWriteResult::Aborted;
        m_view.ShowMessage(meldung::AnschlussKonfigurieren, stufe::Fortschritt,
                           QString::number(exchange::kFirstPort - 1 + p));
        const auto record = m_image.Port(p).Bytes();
        QByteArray message(1, char(command::WritePortRecord));
        message.append(reinterpret_cast<const char*>(record.data()), PortRecordMessageLength - 1);
        handedOver = SendMessage(message) && handedOver;
        Pause(kMessagePauseMs);
    }
    if (stopped())
        return TWriteResult::Aborted;

    handedOver = SendMessage(QByteArray(1, char(command::EndOfPortRecords))) && handedOver;
    Pause(kMessagePauseMs);
    if (stopped())
        return TWriteResult::Aborted;

    m_view.ShowMessage(meldung::GebuehrenSchreiben, stufe::Fortschritt);
    const auto charges = m_image.ChargeBlock();
    charges[0] = command::WriteChargeBlock;
    handedOver =
        SendMessage(QByteArrayView(charges.data(), ChargeBlockMessageLength)) && handedOver;
    if (stopped())
        return TWriteResult::Aborted;

    // The exchange never acknowledges a write: a byte the line refused is the only sign.
    if (handedOver)
        m_view.ShowMessage(meldung::Keine, stufe::Normal);
    else
        m_view.ShowMessage(meldung::NichtBeschrieben, stufe::Fehler, m_portName);
    m_view.SetControlsEnabled(true);
    Finish();
    return handedOver ? TWriteResult::Written : TWriteResult::LineRefused;
}

} // namespace device
