// The charge history behind "Verlauf...", and the desktop notifications of the
// monthly budgets the session checks after every charge read.
#include "app/GebuehrenVerlauf.h"
#include "app/HauptFormular.h"
#include "platform/DesktopNotification.h"

void THauptFenster::VerlaufButtonClick() {
    if (!GebuehrenVerlauf) {
        TGebuehrenVerlauf::Quelle quelle;
        quelle.verlauf = [this] { return m_sitzung->Verlauf(); };
        quelle.logPath = m_sitzung->ChargeLogPath();
        quelle.settingsPath = m_env.settingsPath;
        quelle.dateiDialog = m_env.dateiDialog;
        GebuehrenVerlauf = new TGebuehrenVerlauf(std::move(quelle), this);
    }
    GebuehrenVerlauf->Aktualisiere();
    GebuehrenVerlauf->show();
    GebuehrenVerlauf->raise();
    GebuehrenVerlauf->activateWindow();
}

void THauptFenster::NachGebuehrenLesen() {
    if (GebuehrenVerlauf && GebuehrenVerlauf->isVisible())
        GebuehrenVerlauf->Aktualisiere();
}

void THauptFenster::BudgetWarnung(const QString& text) {
    platform::Notify(QStringLiteral("WinVarno"), text);
}
