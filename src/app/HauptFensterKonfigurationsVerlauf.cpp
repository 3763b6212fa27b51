// The configuration history behind "Verlauf..." on the "Parametrierung" page.
#include "app/HauptFormular.h"
#include "app/KonfigurationsVerlauf.h"
#include "config/ConfigHistory.h"

#include <QPushButton>
#include <QTimer>

void THauptFenster::KonfigurationsVerlaufClick() {
    if (!KonfigurationsVerlauf) {
        TKonfigurationsVerlauf::Quelle quelle;
        quelle.verzeichnis = m_env.konfigurationsVerlauf.isEmpty()
                                 ? config::ConfigHistory::DefaultDirectory()
                                 : m_env.konfigurationsVerlauf;
        quelle.settingsPath = m_env.settingsPath;
        quelle.sitzung = m_sitzung.get();
        // A version goes in exactly when a file could: "Öffnen..." knows.
        quelle.darfLaden = [this] { return OeffnenButton->isEnabled(); };
        quelle.geladen = [this] { NachDateiGeladen(); };
        KonfigurationsVerlauf = new TKonfigurationsVerlauf(std::move(quelle), this);
    }
    KonfigurationsVerlauf->Aktualisiere();
    KonfigurationsVerlauf->show();
    KonfigurationsVerlauf->raise();
    KonfigurationsVerlauf->activateWindow();
}

void THauptFenster::TransferBeendet() {
    // A read changes what a version is compared with.
    if (KonfigurationsVerlauf && KonfigurationsVerlauf->isVisible())
        KonfigurationsVerlauf->AuswahlChange();
    // The service came during our transfer: the line is handed over once it is over.
    if (m_dienstUebergabe)
        QTimer::singleShot(0, this, [this] {
            if (m_dienstUebergabe)
                DienstGekommen();
        });
}

void THauptFenster::VerlaufErgaenzt(int) {
    if (KonfigurationsVerlauf && KonfigurationsVerlauf->isVisible())
        KonfigurationsVerlauf->Aktualisiere();
}

void THauptFenster::KonfigurationsVerlaufPruefen() {
    if (KonfigurationsVerlauf)
        KonfigurationsVerlauf->PruefeWiederherstellen();
}
