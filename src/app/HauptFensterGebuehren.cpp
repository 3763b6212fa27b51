// Charge units: costs and increases on the "Gebühren" page, the exported items
// and the charge log.
#include "app/Beschriftung.h"
#include "app/HauptFormular.h"
#include "charges/ChargeEvaluation.h"
#include "charges/ChargeLog.h"
#include "platform/DdeExport.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>

using app::SetBlack;

namespace {

QChar DecimalPoint() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}

} // namespace

void THauptFenster::EvaluateCharges() {
    ZeigeMeldung(meldung::Keine, stufe::Normal);
    const int ports = Arrays.UsedPorts();
    charges::ChargeInput in;
    for (int i = 0; i < kPorts; ++i) {
        Arrays.UnitCounter[i] = Image.UnitCounterValue(i + 1);
        in.counters[i] = Arrays.UnitCounter[i];
    }
    in.ports = ports;
    in.price = KostenProEinheit;
    in.alteEinheiten = AlteEinheiten;
    in.alteKosten = AlteKosten;
    in.decimalPoint = DecimalPoint();
    const charges::ChargeTexts t = charges::Evaluate(in);

    for (int i = 0; i < ports; ++i) {
        Arrays.UnitCounterEdited[i] = false;
        SetBlack(EinheitenTabelle[i], t.einheiten[i]);
        KostenTabelle[i]->setText(t.kosten[i]);
    }
    WinVarno->SetEinheiten(t.ddeEinheiten);
    WinVarno->SetKosten(t.ddeKosten);
    EinheitenSumme->setText(t.einheitenSumme);
    KostenSumme->setText(t.kostenSumme);

    charges::LogState state{BackupPending, LoggedUnits, LoggedSum};
    // The backup of a large log is made in pieces, with the window kept alive between.
    const charges::LogResult logged =
        charges::LogCharges(ChargeLogPath, ChargeBackupPath, m_env.now(), in.counters, ports, state,
                            [] { QCoreApplication::processEvents(); });
    BackupPending = state.backupPending;
    LoggedUnits = state.loggedUnits;
    LoggedSum = state.loggedSum;

    for (int i = 0; i < ports; ++i)
        DiffTabelle[i]->setText(charges::DiffText(in.counters[i], LoggedUnits[i]));
    DiffSumme->setText(charges::DiffText(t.unitsSum, LoggedSum));
    RefreshPortPage();
    if (AutoEnde)
        AutoEndeZaehler = 3;
    NachGebuehrenLesen();
    // A history that silently stops is worse than a red line: said after every
    // evaluation that could not write its row, so the next read does not hide it.
    const bool failed =
        logged == charges::LogResult::Unreadable || logged == charges::LogResult::WriteFailed;
    const bool written =
        logged == charges::LogResult::Appended || logged == charges::LogResult::Created;
    bool toldCut = m_abgeschnittenGemeldet;
    if (failed) {
        ZeigeDateiFehler(meldung::ProtokollNichtGeschrieben, ChargeLogPath, state.error);
    } else if (state.cutRow && !toldCut) {
        ZeigeMeldung(meldung::ProtokollAbgeschnitten, stufe::Fehler, ChargeLogPath);
        toldCut = true;
    }
    // Once for each cut row: while it stays the log's end (no row written after it),
    // later visits say nothing new.
    m_abgeschnittenGemeldet = toldCut && state.cutRow && !written;
}
