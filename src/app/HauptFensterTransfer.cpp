// The window's side of the conversation with the exchange: the handlers that start
// the read and write sequences, and what their steps do to the controls.
#include "app/HauptFormular.h"
#include "app/Leitung.h"
#include "desktop/UMsgHook.h"
#include "serial/Comm32.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

void THauptFenster::VerbindeLeitung() {
    m_leitung = std::make_unique<TLeitung>(*this);
    m_line = m_env.line ? m_env.line.get() : static_cast<device::TLine*>(Communication);
    m_line->SetListener(m_leitung.get());
    Transfer = std::make_unique<device::TTransferSequence>(*m_line, Image, *m_leitung);
}

void THauptFenster::SetControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{OeffnenButton, SpeichernButton, LesenButton,
                                                      SchreibenButton, DruckenButton, HilfeButton,
                                                      BeendenButton, MSNAuswahl, TelefonNummer})
        w->setEnabled(enabled);
    // Ending the program mid-write would leave the exchange half written: the tray
    // menu's "Schliessen" follows "Beenden".
    PopupItemSchliessen->setEnabled(enabled);
    // Boxes of ports the device does not have stay as the decode left them.
    for (int i = 0; i < Arrays.UsedPorts(); ++i)
        ZuordnungTabelle[i]->setEnabled(enabled);
    for (QWidget* w :
         std::initializer_list<QWidget*>{abAuswahl, GebuehrenImpuls, SpontaneAmtsholung,
                                         BerechtigungsAuswahl, DienstAuswahl, GebuehrenEinheiten})
        w->setEnabled(enabled);
    SchreibenPruefen();
}

void THauptFenster::SchreibenPruefen() {
    // Only what was read, or loaded from a file, goes back to the exchange.
    QString grund;
    switch (Transfer->WriteBlocker()) {
    case device::TWriteBlocker::None:
        break;
    case device::TWriteBlocker::NotRead:
        grund = catalogue::Text(meldung::NichtGelesen);
        break;
    case device::TWriteBlocker::PortCount:
        grund = catalogue::Fill(meldung::AnschlussZahlUngueltig,
                                QString::number(Image.PortCountByte()));
        break;
    }
    if (!grund.isEmpty())
        SchreibenButton->setEnabled(false);
    SchreibenButton->setToolTip(grund);
    SchreibenButton->setAccessibleDescription(grund);
}

void THauptFenster::LesenButtonClick() {
    // Start-up and the cyclic read come here too; none of them may cut into a
    // running transfer, which the sequence refuses.
    Transfer->StartRead();
}

void THauptFenster::TransferEnde() {
    if (TransferAktiv() || BeendenAngefordert)
        return;
    // A scheduled load that fell due meanwhile comes next, before any other.
    const QString deferred = Zeitsteuerung.TakeDeferred();
    if (!deferred.isEmpty())
        ZeitgesteuertStarten(deferred);
    if (m_portNeuOeffnen)
        QTimer::singleShot(0, this, [this] {
            if (m_portNeuOeffnen)
                PortNeuOeffnen();
        });
    if (NachTransfer)
        NachTransfer();
}

void THauptFenster::OnReceiveData(const char* buffer, quint16 length) {
    Transfer->Receive(QByteArrayView(buffer, length));
}

void THauptFenster::OnSchreibenClick() {
    device::TCounterEdits edits;
    for (int i = 0; i < Arrays.UsedPorts(); ++i)
        if (Arrays.UnitCounterEdited[i])
            edits[std::size_t(i)] = std::uint16_t(Arrays.UnitCounter[i]);
    Transfer->Write(Arrays.UsedPorts(), edits);
}
