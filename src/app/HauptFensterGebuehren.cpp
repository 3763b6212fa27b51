// Charge units: costs and increases on the "Gebühren" page and the exported items.
#include "app/Beschriftung.h"
#include "app/HauptFormular.h"
#include "platform/DdeExport.h"

#include <QLabel>

using app::SetBlack;

void THauptFenster::EvaluateCharges() {
    m_sitzung->EvaluateCharges();
}

void THauptFenster::GebuehrenBerechnet(const charges::ChargeTexts& t, int ports) {
    for (int i = 0; i < ports; ++i) {
        SetBlack(EinheitenTabelle[i], t.einheiten[i]);
        KostenTabelle[i]->setText(t.kosten[i]);
    }
    if (WinVarno) { // none while the service exports them
        WinVarno->SetEinheiten(t.ddeEinheiten);
        WinVarno->SetKosten(t.ddeKosten);
    }
    EinheitenSumme->setText(t.einheitenSumme);
    KostenSumme->setText(t.kostenSumme);
}

void THauptFenster::ZuwaechseBerechnet(const std::array<QString, kPorts>& zuwaechse,
                                       const QString& summe, int ports) {
    for (int i = 0; i < ports; ++i)
        DiffTabelle[i]->setText(zuwaechse[std::size_t(i)]);
    DiffSumme->setText(summe);
    RefreshPortPage();
    NachGebuehrenLesen();
}
