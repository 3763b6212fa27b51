// The conversation with the exchange: the read sequence block by block, the
// write sequence, and the controls that are locked while either runs.
#include "app/HauptFormular.h"
#include "config/ConfigViews.h"
#include "desktop/UMsgHook.h"
#include "device/Commands.h"
#include "device/PacedSend.h"
#include "serial/Comm32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr int kTimeoutGrund = 10, kTimeoutEndgeraete = 10, kTimeoutGebuehren = 5;
constexpr int kPauseZwischenNachrichten = 1000; // ms between write messages
// Line bytes that carry every data byte of the basic, terminal and charge block.
// Less is a piece cut off by a pause or a hang-up: decoded, it would show stale
// bytes as read, so it is left to the time-out.
constexpr qsizetype kVolleAntwort[] = {
    exchange::LineBytesCarrying(exchange::DataBytes(exchange::kBasicSize)),
    exchange::LineBytesCarrying(exchange::DataBytes(exchange::kTerminalSize)),
    exchange::LineBytesCarrying(exchange::DataBytes(exchange::kChargeSize))};
} // namespace

bool THauptFenster::SendData(const QByteArray& bytes) {
    if (m_env.sendData)
        return m_env.sendData(bytes);
    return Communication->SendData(bytes);
}

void THauptFenster::SetControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{OeffnenButton, SpeichernButton, LesenButton,
                                                      SchreibenButton, DruckenButton, HilfeButton,
                                                      BeendenButton, MSNAuswahl, TelefonNummer})
        w->setEnabled(enabled);
    // Boxes of ports the device does not have stay as the decode left them.
    for (int i = 0; i < Arrays.UsedPorts(); ++i)
        ZuordnungTabelle[i]->setEnabled(enabled);
    for (QWidget* w :
         std::initializer_list<QWidget*>{abAuswahl, GebuehrenImpuls, SpontaneAmtsholung,
                                         BerechtigungsAuswahl, DienstAuswahl, GebuehrenEinheiten})
        w->setEnabled(enabled);
}

void THauptFenster::SendeAnfrage(int nachricht, int state, std::uint8_t code, int timeout) {
    ZeigeMeldung(nachricht, stufe::Fortschritt);
    TransferState = state;
    if (!SendData(device::ReadRequest(code)))
        ZeigeMeldung(meldung::NichtBeschrieben, stufe::Fehler, CommPort);
    TimeoutCounter = timeout;
}

void THauptFenster::ReadBasicBlock() {
    ZeigeMeldung(meldung::GrundLesen, stufe::Fortschritt);
    SetControlsEnabled(false);
    TransferState = 0;
    if (!SendData(device::ReadRequest(device::command::ReadBasicBlock)))
        ZeigeMeldung(meldung::NichtBeschrieben, stufe::Fehler, CommPort);
    TimeoutCounter = kTimeoutGrund;
}

void THauptFenster::ReadTerminalBlock() {
    SendeAnfrage(3, 1, device::command::ReadTerminalBlock, kTimeoutEndgeraete);
}

void THauptFenster::ReadChargeBlock() {
    SendeAnfrage(1, 2, device::command::ReadChargeBlock, kTimeoutGebuehren);
}

void THauptFenster::LesenButtonClick() {
    // The button is locked during a transfer; the cyclic and start-up reads
    // come here too and must not cut into one.
    if (TransferAktiv())
        return;
    ReadBasicBlock();
}

void THauptFenster::TransferEnde() {
    if (TransferAktiv())
        return;
    // A scheduled load that fell due meanwhile runs now, once the handler
    // that ended the transfer has returned.
    const QString deferred = Zeitsteuerung.TakeDeferred();
    if (!deferred.isEmpty())
        QTimer::singleShot(0, this, [this, deferred] {
            if (TransferAktiv())
                Zeitsteuerung.Defer(deferred);
            else
                ZeitgesteuertLaden(deferred);
        });
    if (NachTransfer)
        NachTransfer();
}

void THauptFenster::OnReceiveData(const char* buffer, quint16 length) {
    const QByteArrayView answer(buffer, length);
    if (TransferState >= 0 && TransferState <= 2 && answer.size() < kVolleAntwort[TransferState])
        return;
    TimeoutCounter = -1;
    switch (TransferState) {
    case 0:
        Image.StoreAnswer(config::Region::Basic, answer);
        DecodeBasicBlock();
        if (Firmware->text() == u"1.93") {
            ReadTerminalBlock();
        } else {
            ZeigeMeldung(meldung::FalscheFirmware, stufe::Fehler);
            HilfeButton->setEnabled(true);
            BeendenButton->setEnabled(true);
            TransferEnde();
        }
        break;
    case 1:
        Image.StoreAnswer(config::Region::Terminal, answer);
        DecodeTerminalBlock();
        ReadChargeBlock();
        break;
    case 2:
        Image.StoreAnswer(config::Region::Charge, answer);
        EvaluateCharges();
        MessageHook->SetActive(true);
        SetControlsEnabled(true);
        TransferEnde();
        break;
    default: // a write runs or ran: nothing is awaited
        break;
    }
}

bool THauptFenster::SendeNachricht(const QByteArray& message) {
    // A byte that cannot be handed over is lost; the sequence goes on regardless,
    // since the exchange takes the messages without answering.
    bool alle = true;
    device::SendFramed(message,
                       [this, &alle](char byte) { alle = SendData(QByteArray(1, byte)) && alle; });
    return alle;
}

void THauptFenster::OnSchreibenClick() {
    if (TransferAktiv())
        return;
    SchreibenLaeuft = true;
    SetControlsEnabled(false);
    TransferState = 3;
    ZeigeMeldung(meldung::GrundSchreiben, stufe::Fortschritt);

    auto basic = Image.BasicBlock();
    basic[0] = device::command::WriteBasicBlock;
    bool uebergeben = SendeNachricht(
        QByteArray(reinterpret_cast<const char*>(basic.data()), device::BasicBlockMessageLength));
    device::PacedWait(kPauseZwischenNachrichten);

    for (int p = 1; p <= Arrays.UsedPorts(); ++p) {
        ZeigeMeldung(meldung::AnschlussKonfigurieren, stufe::Fortschritt,
                     QString::number(startup::kFirstPort - 1 + p));
        const auto record = Image.Port(p).Bytes();
        QByteArray message(1, char(device::command::WritePortRecord));
        message.append(reinterpret_cast<const char*>(record.data()),
                       device::PortRecordMessageLength - 1);
        uebergeben = SendeNachricht(message) && uebergeben;
        device::PacedWait(kPauseZwischenNachrichten);
    }

    uebergeben =
        SendeNachricht(QByteArray(1, char(device::command::EndOfPortRecords))) && uebergeben;
    device::PacedWait(kPauseZwischenNachrichten);

    ZeigeMeldung(meldung::GebuehrenSchreiben, stufe::Fortschritt);
    auto charges = Image.ChargeBlock();
    charges[0] = device::command::WriteChargeBlock;
    uebergeben = SendeNachricht(QByteArray(reinterpret_cast<const char*>(charges.data()),
                                           device::ChargeBlockMessageLength)) &&
                 uebergeben;

    // The exchange never acknowledges a write: a byte the line refused is the only sign.
    if (uebergeben)
        ZeigeMeldung(meldung::Keine, stufe::Normal);
    else
        ZeigeMeldung(meldung::NichtBeschrieben, stufe::Fehler, CommPort);
    SetControlsEnabled(true);
    SchreibenLaeuft = false;
    TransferEnde();
}
