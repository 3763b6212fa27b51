#include "device/TransferSequence.h"

#include "catalogue/Catalogue.h"
#include "device/PacedSend.h"
#include "protocol/Commands.h"
#include "protocol/Exchange.h"
#include "protocol/FrameCodec.h"

#include <QElapsedTimer>
#include <algorithm>
#include <limits>
#include <utility>

namespace device {

namespace meldung = catalogue::meldung;
namespace stufe = catalogue::stufe;

int AnswerDataBytes(TTransferSequence::State state) {
    switch (state) {
    case TTransferSequence::BasicBlock:
        return exchange::DataBytes(exchange::kBasicSize);
    case TTransferSequence::TerminalBlock:
        return exchange::DataBytes(exchange::kTerminalSize);
    case TTransferSequence::ChargeBlock:
        return exchange::DataBytes(exchange::kChargeSize);
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
    // Busy from here on: the status messages below let events in.
    m_phase = Phase::Reading;
    if (!m_view.LineReady()) {
        m_phase = Phase::Idle;
        return false;
    }
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
    // Whatever came before the request is no part of its answer.
    m_line.FlushInput();
    if (!m_line.Send(ReadRequest(code)))
        m_view.ShowMessage(meldung::NichtBeschrieben, stufe::Fehler, m_portName);
    m_timeout = timeout;
}

void TTransferSequence::Finish() {
    m_phase = Phase::Idle;
    m_view.TransferEnded();
}

QByteArray TTransferSequence::FramedAnswer(QByteArrayView block, State state, int maxDataBytes) {
    const int wanted = AnswerDataBytes(state);
    TFramedMessage found;
    if (maxDataBytes == wanted) {
        // The read-back takes only its own size. Noise in front may read as the start
        // of a message that swallows or overlaps the answer's start, which the search
        // below would pass over whole; so every place is tried, from the end, where
        // the answer stands.
        const qsizetype length = (wanted + 2) / 3 * 4;
        for (qsizetype at = block.size() - length; at >= 0 && !found.Found(); --at)
            if (const TFramedMessage m = FindFramedMessage(block.sliced(at, length), wanted);
                m.offset == 0 && m.dataBytes == wanted)
                found = {at, length, wanted};
    } else {
        found = FindFramedMessage(block, wanted);
    }
    if (!found.Found() || found.dataBytes > maxDataBytes) {
        // Counts as no answer: the time-out still runs and says so.
        m_line.Log(QStringLiteral("Refused %1 bytes: no framed block of %2 data bytes")
                       .arg(block.size())
                       .arg(wanted));
        return {};
    }
    if (found.offset > 0)
        m_line.Log(
            QStringLiteral("Skipped %1 bytes of noise in front of the answer").arg(found.offset));
    if (const qsizetype behind = block.size() - found.offset - found.length; behind > 0)
        m_line.Log(QStringLiteral("Ignored %1 bytes behind the answer").arg(behind));
    return block.sliced(found.offset, found.length).toByteArray();
}

void TTransferSequence::Receive(QByteArrayView block) {
    if (m_phase == Phase::Writing) {
        if (!m_freshAwaited) {
            m_line.Log(QStringLiteral("Dropped %1 bytes: no answer awaited").arg(block.size()));
            return;
        }
        // Fewer data bytes than a terminal block: a late terminal answer of a read
        // that timed out would otherwise go out as counters. A block read back is
        // taken only at its own size.
        const QByteArray answer =
            FramedAnswer(block, m_freshState,
                         m_freshState == ChargeBlock ? AnswerDataBytes(TerminalBlock) - 1
                                                     : AnswerDataBytes(m_freshState));
        if (!answer.isEmpty()) {
            m_fresh = answer;
            m_freshAwaited = false;
        }
        return;
    }
    // After a write nothing is awaited, nor after a complete read.
    if (m_state == WriteRan || !m_awaiting) {
        m_line.Log(QStringLiteral("Dropped %1 bytes: no answer awaited").arg(block.size()));
        return;
    }
    const QByteArray answer = FramedAnswer(block, m_state, std::numeric_limits<int>::max());
    if (answer.isEmpty())
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
        // Until its terminal block is in, the image holds half of a read.
        m_imageFit = false;
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
        // Asked for only after a basic block of firmware 1.93.
        m_imageFit = true;
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
    // Inside a write the count only ends the wait for the fresh charge block.
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
        message, [this, &all](char byte) { all = m_line.SendPaced(byte) && all; },
        [this] { return m_abort; });
    return all;
}

bool TTransferSequence::Pause(int milliseconds) {
    return PacedWait(milliseconds, [this] { return m_abort; });
}

QByteArray TTransferSequence::ReadInsideWrite(State state, std::uint8_t code, int timeout) {
    m_fresh.clear();
    m_freshState = state;
    m_freshAwaited = true;
    m_line.FlushInput();
    if (m_line.Send(ReadRequest(code))) {
        // The time-out is counted by the one-second timer, which ticks meanwhile; the
        // clock only bounds the wait should the timer stand still.
        m_timeout = timeout;
        QElapsedTimer waited;
        waited.start();
        while (m_freshAwaited && m_timeout > 0 && !m_abort &&
               waited.elapsed() < 3 * qint64(timeout) * 1000)
            PacedWait(1, [this] { return !m_freshAwaited || m_abort; });
        m_timeout = -1;
    }
    m_freshAwaited = false;
    return m_abort ? QByteArray() : std::exchange(m_fresh, {});
}

bool TTransferSequence::ReadChargesAfresh() {
    m_view.ShowMessage(meldung::GebuehrenLesen, stufe::Fortschritt);
    const QByteArray fresh = ReadInsideWrite(ChargeBlock, command::ReadChargeBlock, kChargeTimeout);
    if (fresh.isEmpty())
        return false;
    m_image.StoreAnswer(config::Region::Charge, fresh);
    m_view.BlockStored(config::Region::Charge); // evaluated and logged as any read
    return true;
}

std::optional<config::ConfigImage> TTransferSequence::ReadBack() {
    m_view.ShowMessage(meldung::WirdZurueckgelesen, stufe::Fortschritt);
    // Into a copy: the pages keep what was written, to be written again should the
    // exchange not have taken it.
    config::ConfigImage held = m_image;
    const QByteArray basic = ReadInsideWrite(BasicBlock, command::ReadBasicBlock, kBasicTimeout);
    if (basic.isEmpty())
        return std::nullopt; // no need to wait for the second one too
    const QByteArray terminal =
        ReadInsideWrite(TerminalBlock, command::ReadTerminalBlock, kTerminalTimeout);
    if (terminal.isEmpty())
        return std::nullopt;
    held.StoreAnswer(config::Region::Basic, basic);
    held.StoreAnswer(config::Region::Terminal, terminal);
    return held;
}

TWriteBlocker TTransferSequence::WriteBlocker() const {
    if (!m_imageFit)
        return TWriteBlocker::NotRead;
    const int ports = m_image.PortCountByte();
    if (ports < 1 || ports > exchange::kPorts)
        return TWriteBlocker::PortCount;
    return TWriteBlocker::None;
}

TWriteResult TTransferSequence::Write(int portCount, const TCounterEdits& edits) {
    if (Busy())
        return TWriteResult::NotStarted;
    if (const TWriteBlocker blocker = WriteBlocker(); blocker != TWriteBlocker::None) {
        // An image of zeros or of half a read would wipe the exchange's configuration.
        m_line.Log(QStringLiteral("Write refused: nothing fit to write"));
        m_view.ShowMessage(blocker == TWriteBlocker::NotRead ? meldung::NichtGelesen
                                                             : meldung::AnschlussZahlUngueltig,
                           stufe::Fehler, QString::number(m_image.PortCountByte()));
        return TWriteResult::Refused;
    }
    m_phase = Phase::Writing;
    if (!m_view.LineReady()) {
        m_phase = Phase::Idle;
        return TWriteResult::NotStarted;
    }
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

    // The block held in memory would set back what the exchange counted since the
    // last read; without a fresh one the exchange keeps its own counters.
    const bool fresh = ReadChargesAfresh();
    if (stopped())
        return TWriteResult::Aborted;
    if (fresh) {
        for (int p = 1; p <= exchange::kPorts; ++p)
            if (const auto& value = edits[std::size_t(p - 1)]) {
                m_image.SetUnitCounterValue(p, *value);
                m_view.CounterEditKept(p, *value);
            }
        m_view.ShowMessage(meldung::GebuehrenSchreiben, stufe::Fortschritt);
        const auto charges = m_image.ChargeBlock();
        charges[0] = command::WriteChargeBlock;
        handedOver =
            SendMessage(QByteArrayView(charges.data(), ChargeBlockMessageLength)) && handedOver;
        if (stopped())
            return TWriteResult::Aborted;
    }

    // A byte the line refused is sign enough; otherwise the exchange is asked what it
    // took, since it never acknowledges a write.
    std::optional<config::ConfigImage> readBack;
    if (handedOver) {
        readBack = ReadBack();
        if (stopped())
            return TWriteResult::Aborted;
    }
    TWriteResult result = TWriteResult::LineRefused;
    if (!handedOver) {
        m_view.ShowMessage(meldung::NichtBeschrieben, stufe::Fehler, m_portName);
    } else if (!readBack) {
        m_view.ShowMessage(meldung::NichtGeprueft, stufe::Fehler);
        result = TWriteResult::NotChecked;
    } else if (const auto changes = WriteDifferences(m_image, *readBack, m_portNames);
               !changes.empty()) {
        m_view.ShowMessage(meldung::AnlageWeichtAb, stufe::Fehler, config::ChangeSummary(changes));
        result = TWriteResult::Differs;
    } else if (!fresh) {
        m_view.ShowMessage(meldung::GebuehrenNichtGeschrieben, stufe::Fehler);
        result = TWriteResult::ChargesNotWritten;
    } else {
        m_view.ShowMessage(meldung::GeschriebenGeprueft, stufe::Fortschritt);
        result = TWriteResult::Written;
    }
    m_view.WriteChecked(readBack);
    m_view.SetControlsEnabled(true);
    Finish();
    return result;
}

std::vector<config::ConfigChange> WriteDifferences(const config::ConfigImage& written,
                                                   const config::ConfigImage& held,
                                                   const config::PortNames& names) {
    std::vector<config::ConfigChange> changes = config::CompareConfigurations(written, held, names);
    std::erase_if(changes, [](const config::ConfigChange& c) {
        return c.field == config::ChangedField::Firmware;
    });
    return changes;
}

} // namespace device
