// The settings dialog, what its values change in the window, and (re)opening the port.
#include "app/EinstellungenDialog.h"
#include "app/HauptFormular.h"
#include "app/StatusZeile.h"
#include "catalogue/Catalogue.h"
#include "platform/IniFile.h"
#include "serial/PortDiscovery.h"
#include "serial/PortName.h"
#include "service/DienstKlient.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

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
            // The service follows the file itself; asked, it does so at once.
            if (DienstVerbunden())
                ZeigeDienstAntwort(m_dienst->EinstellungenNeuLaden());
            else
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
    m_sitzung->EinstellungenAnwenden(e);
    m_sitzung->WochenplanAnwenden(ini);
    for (int n = 0; n < schedule::kEntries; ++n)
        EditTage[n]->setText(m_sitzung->Wochenplan().tage[std::size_t(n)].kurzText());
    ZyklischNeuLesen->setText(startup::ZyklusBeschriftung(m_sitzung->ZyklusSekunden()));
}

void THauptFenster::PortNeuOeffnen() {
    m_sitzung->PortNeuOeffnen();
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
    return text == catalogue::PanelText(meldung::UngueltigerPort, stufe::Fehler, AnzeigePort()) ||
           text == catalogue::PanelText(meldung::NichtGeoeffnet, stufe::Fehler, AnzeigePort());
}

void THauptFenster::StatusZeileClick(int panel) {
    if (panel == 0 && StartMeldungZeigt())
        EinstellungenClick();
}
