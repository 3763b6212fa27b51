// The settings dialog, what its values change in the window, and (re)opening the port.
#include "app/EinstellungenDialog.h"
#include "app/HauptFormular.h"
#include "app/StatusZeile.h"
#include "catalogue/Catalogue.h"
#include "platform/IniFile.h"
#include "serial/Comm32.h"
#include "serial/PortDiscovery.h"
#include "serial/PortName.h"

#include <QCheckBox>
#include <QLabel>
#include <cstdio>
#include <exception>

void THauptFenster::EinstellungenClick() {
    if (m_einstellungen) {
        m_einstellungen->raise();
        m_einstellungen->activateWindow();
        return;
    }
    auto* dialog = new TEinstellungenDialog(
        m_env.settingsPath, serial::FindSerialDevices(),
        [](const QString& pfad) { return serial::ProbeDevice(pfad); }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Queued: opening shows messages, whose event processing would delete the dialog
    // while it is still signalling.
    connect(
        dialog, &QDialog::accepted, this,
        [this] {
            EinstellungenAnwenden(platform::IniFile(m_env.settingsPath));
            PortNeuOeffnen();
        },
        Qt::QueuedConnection);
    m_einstellungen = dialog;
    // Window-modal without a nested loop: timer, cyclic reads and the schedule go on.
    dialog->open();
}

TEinstellungenDialog* THauptFenster::EinstellungenDialog() const {
    return m_einstellungen;
}

void THauptFenster::EinstellungenAnwenden(const platform::IniFile& ini) {
    const startup::Einstellungen e = startup::LiesEinstellungen(ini);
    for (int i = 0; i < kPorts; ++i) {
        BezeichnungTabelleA[i]->setText(e.bezeichnungen[i]);
        BezeichnungTabelleB[i]->setText(e.bezeichnungen[i]);
        BezeichnungTabelleC[i]->setText(e.bezeichnungen[i]);
    }
    AlteEinheiten = e.alteEinheiten;
    AlteKosten = e.alteKosten;
    KostenProEinheit = e.kostenProEinheit;
    // A running countdown takes a changed period at once.
    if (ZyklusZaehler > 0 && ZyklusSekunden != e.zyklusSekunden)
        ZyklusZaehler = e.zyklusSekunden;
    ZyklusSekunden = e.zyklusSekunden;
    ZyklischNeuLesen->setText(startup::ZyklusBeschriftung(ZyklusSekunden));
}

void THauptFenster::PortNeuOeffnen() {
    if (TransferAktiv()) {
        m_portNeuOeffnen = true; // TransferEnde comes back here
        return;
    }
    m_portNeuOeffnen = false;
    m_line->Close();
    CommPort = startup::LiesPortName(platform::IniFile(m_env.settingsPath));
    if (!startup::IstGueltigerPortName(CommPort)) {
        ZeigeMeldung(meldung::UngueltigerPort, stufe::Fehler, CommPort);
        return;
    }
    if (SchnittstelleOeffnen())
        LesenButtonClick();
}

bool THauptFenster::LeitungBereit() {
    if (m_line->IsOpen())
        return true;
    CommPort = startup::LiesPortName(platform::IniFile(m_env.settingsPath));
    if (!startup::IstGueltigerPortName(CommPort)) {
        ZeigeMeldung(meldung::UngueltigerPort, stufe::Fehler, CommPort);
        return false;
    }
    return SchnittstelleOeffnen();
}

bool THauptFenster::SchnittstelleOeffnen() {
    ZeigeMeldung(meldung::WirdGeoeffnet, stufe::Fortschritt, CommPort);
    Transfer->SetPortName(CommPort);
    const platform::IniFile ini(m_env.settingsPath);
    Communication->SetCommsLogFileName(
        startup::KommunikationsProtokoll(ini, m_env.kommunikationsProtokoll));
    // Port names resolve through the same settings file the window reads.
    Communication->SetPortLookup([path = m_env.settingsPath](const QString& key) {
        return platform::IniFile(path).value(QStringLiteral("Schnittstellen"), key);
    });
    // What was read from one device is not written to another.
    const QString geraet = serial::ResolveCommPort(CommPort, [&ini](const QString& key) {
        return ini.value(QStringLiteral("Schnittstellen"), key);
    });
    if (geraet != m_geraet) {
        if (!m_geraet.isEmpty()) {
            Transfer->ForgetImage();
            SchreibenPruefen();
        }
        m_geraet = geraet;
    }
    QString grund;
    try {
        m_line->Open(CommPort);
        return true;
    } catch (const ECommsError& e) {
        grund = catalogue::OeffnungsGrund(e.Failure(), e.Device(), e.Errno());
    } catch (const std::exception& e) {
        grund = QString::fromLocal8Bit(e.what()).simplified();
    }
    ZeigeMeldung(meldung::NichtGeoeffnet, stufe::Fehler, CommPort);
    SetzeStatusGrund(grund);
    // One line, so that it lands whole in the journal of a program started from the menu.
    std::fprintf(stderr, "WinVarno: %s: %s\n", statusText(0).mid(2).toLocal8Bit().constData(),
                 grund.toLocal8Bit().constData());
    return false;
}

void THauptFenster::SetzeStatusGrund(const QString& grund) {
    StatusZeile->setToolTip(grund);
    StatusZeile->setAccessibleDescription(grund);
    if (StartMeldungZeigt())
        StatusZeile->setCursor(Qt::PointingHandCursor);
    else
        StatusZeile->unsetCursor();
}

bool THauptFenster::StartMeldungZeigt() const {
    const QString text = StatusZeile->panelText(0);
    return text == catalogue::PanelText(meldung::UngueltigerPort, stufe::Fehler, CommPort) ||
           text == catalogue::PanelText(meldung::NichtGeoeffnet, stufe::Fehler, CommPort);
}

void THauptFenster::StatusZeileClick(int panel) {
    if (panel == 0 && StartMeldungZeigt())
        EinstellungenClick();
}
