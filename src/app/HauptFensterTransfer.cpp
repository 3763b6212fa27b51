// The window's side of the conversation with the exchange: the handlers that hand
// reads and writes to the session, and what their steps do to the controls.
#include "app/Beschriftung.h"
#include "app/HauptFormular.h"
#include "app/ZeitEdit.h"
#include "desktop/UMsgHook.h"
#include "platform/IniFile.h"
#include "serial/Comm32.h"
#include "service/DienstKlient.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

void THauptFenster::VerbindeSitzung() {
    session::TSitzungsUmgebung umgebung;
    umgebung.settingsPath = m_env.settingsPath;
    umgebung.programPath = m_env.programPath;
    if (!m_env.konfigurationsVerlauf.isEmpty())
        umgebung.historyDirectory = m_env.konfigurationsVerlauf;
    if (m_env.now)
        umgebung.now = m_env.now;
    umgebung.vorDemOeffnen = [this](const platform::IniFile& ini) {
        Communication->SetCommsLogFileName(
            startup::KommunikationsProtokoll(ini, m_env.kommunikationsProtokoll));
        // Port names resolve through the same settings file the window reads.
        Communication->SetPortLookup([path = m_env.settingsPath](const QString& key) {
            return platform::IniFile(path).value(QStringLiteral("Schnittstellen"), key);
        });
    };
    device::TLine& line = m_env.line ? *m_env.line : static_cast<device::TLine&>(*Communication);
    session::TBeobachter& beobachter = *this;
    m_sitzung = std::make_unique<session::TSitzung>(std::move(umgebung), line, beobachter);

    connect(ZyklischNeuLesen, &QCheckBox::toggled, this,
            [this](bool an) { m_sitzung->SetZyklischNeuLesen(an); });
    m_sitzung->SetZyklischNeuLesen(ZyklischNeuLesen->isChecked());
    // The fields are the schedule's live store: a typed time counts at once.
    for (int n = 0; n < schedule::kEntries; ++n) {
        const auto zeigen = [this, n] {
            m_sitzung->SetZeitpunkt(n, {EditUhrzeit[n]->zeitText(), EditDateiname[n]->text()});
        };
        connect(EditUhrzeit[n], &QLineEdit::textChanged, this, zeigen);
        connect(EditDateiname[n], &QLineEdit::textChanged, this, zeigen);
        zeigen();
        connect(EditTage[n], &QLineEdit::textChanged, this, [this, n](const QString& text) {
            m_sitzung->SetTage(n, schedule::TWochentage::FromText(text));
        });
    }
}

void THauptFenster::SetControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{OeffnenButton, SpeichernButton, LesenButton,
                                                      SchreibenButton, DruckenButton, HilfeButton,
                                                      BeendenButton, MSNAuswahl, TelefonNummer})
        w->setEnabled(enabled);
    for (QWidget* w : ButtonJetztSchreiben)
        w->setEnabled(enabled);
    // Ending the program mid-write would leave the exchange half written: the tray
    // menu's "Schliessen" follows "Beenden".
    PopupItemSchliessen->setEnabled(enabled);
    // Boxes of ports the device does not have stay as the decode left them.
    for (int i = 0; i < m_sitzung->Arrays().UsedPorts(); ++i)
        ZuordnungTabelle[i]->setEnabled(enabled);
    for (QWidget* w :
         std::initializer_list<QWidget*>{abAuswahl, GebuehrenImpuls, SpontaneAmtsholung,
                                         BerechtigungsAuswahl, DienstAuswahl, GebuehrenEinheiten})
        w->setEnabled(enabled);
    SchreibenPruefen();
    KonfigurationsVerlaufPruefen();
}

void THauptFenster::SchreibenPruefen() {
    // Only what was read, or loaded from a file, goes back to the exchange.
    QString grund;
    switch (m_sitzung->Transfer().WriteBlocker()) {
    case device::TWriteBlocker::None:
        break;
    case device::TWriteBlocker::NotRead:
        grund = catalogue::Text(meldung::NichtGelesen);
        break;
    case device::TWriteBlocker::PortCount:
        grund = catalogue::Fill(meldung::AnschlussZahlUngueltig,
                                QString::number(m_sitzung->Image().PortCountByte()));
        break;
    }
    if (!grund.isEmpty())
        SchreibenButton->setEnabled(false);
    SchreibenButton->setToolTip(grund);
    SchreibenButton->setAccessibleDescription(grund);
}

void THauptFenster::SteuerungFreigeben(bool frei) {
    SetControlsEnabled(frei);
}

void THauptFenster::BildVergessen() {
    SchreibenPruefen();
}

void THauptFenster::LesenVollstaendig() {
    MessageHook->SetActive(true);
}

void THauptFenster::FirmwareAbgelehnt() {
    // Reading stays possible: a corrected cable or another exchange needs no restart.
    LesenButton->setEnabled(true);
    HilfeButton->setEnabled(true);
    BeendenButton->setEnabled(true);
    PopupItemSchliessen->setEnabled(true);
}

void THauptFenster::ZaehlerBehalten(int port, std::uint16_t wert) {
    app::SetRed(EinheitenTabelle[std::size_t(port - 1)], QString::number(wert));
    RefreshPortPage();
}

void THauptFenster::LesenButtonClick() {
    if (DienstVerbunden())
        ZeigeDienstAntwort(m_dienst->Lesen());
    else
        m_sitzung->StartRead();
}

void THauptFenster::OnReceiveData(const char* buffer, quint16 length) {
    m_sitzung->Receive(QByteArrayView(buffer, length));
}

void THauptFenster::OnSchreibenClick() {
    // The image as the pages hold it, with the counters set, as a write of our own.
    if (DienstVerbunden())
        ZeigeDienstAntwort(
            m_dienst->Schreiben(m_sitzung->Image(), m_sitzung->ZaehlerAenderungen()));
    else
        m_sitzung->Schreiben();
}
