// The charge history behind "Verlauf..." and the monthly budgets checked after
// every charge read.
#include "app/GebuehrenVerlauf.h"
#include "app/HauptFormular.h"
#include "charges/ChargeReport.h"
#include "platform/DesktopNotification.h"
#include "platform/IniFile.h"
#include "platform/ProgramFiles.h"

#include <QLocale>
#include <QStringList>

namespace {

// "21 (Büro)", or "21" for a port without a name.
QString PortMitName(int index, const QString& name) {
    const QString port = QString::number(startup::kFirstPort + index);
    return name.isEmpty() ? port : QStringLiteral("%1 (%2)").arg(port, name);
}

} // namespace

void THauptFenster::VerlaufButtonClick() {
    if (!GebuehrenVerlauf) {
        TGebuehrenVerlauf::Quelle quelle;
        quelle.verlauf = [this]() -> std::optional<charges::THistory> {
            if (!LogVerlauf)
                LogVerlauf.emplace(ChargeLogPath);
            if (!LogVerlauf->Update())
                return std::nullopt;
            return LogVerlauf->Snapshot();
        };
        quelle.logPath = ChargeLogPath;
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

    const platform::IniFile ini(m_env.settingsPath);
    const charges::Budgets budgets = charges::ReadBudgets(ini);
    if (!budgets.any())
        return; // nothing to watch: the log is not even read
    if (!LogVerlauf)
        LogVerlauf.emplace(ChargeLogPath);
    LogVerlauf->Update();
    const charges::THistory history = LogVerlauf->Snapshot();
    const QDate heute = (m_env.now ? m_env.now() : QDateTime::currentDateTime()).date();
    const charges::TTarife tarife = charges::ReadTarife(ini);
    std::array<double, kPorts> kosten = charges::MonthCosts(history, tarife, heute);
    // Units the log could not take (it may be unwritable) still count.
    if (history.lastCounters()) {
        charges::Counters jetzt{};
        std::copy(Arrays.UnitCounter.begin(), Arrays.UnitCounter.end(), jetzt.begin());
        const charges::Units extra = charges::Usage(*history.lastCounters(), jetzt);
        for (int i = 0; i < kPorts; ++i)
            kosten[size_t(i)] += double(extra[size_t(i)]) * tarife.PriceOn(heute);
    }

    if (!BudgetWaechter)
        BudgetWaechter.emplace(
            platform::programfiles::DataFile(m_env.programPath, QStringLiteral(".budget")));
    const std::vector<charges::Overrun> neu = BudgetWaechter->Check(heute, kosten, budgets);
    if (neu.empty())
        return;

    const auto namen = charges::ReadPortNames(ini);
    const QChar punkt = charges::DecimalPoint();
    const QString monat = heute.toString(QStringLiteral("MM/yyyy"));
    QStringList welche;
    for (const charges::Overrun& o : neu) {
        const bool summe = o.index == charges::kBudgetSum;
        const QString wer =
            summe ? QStringLiteral("Summe") : PortMitName(o.index, namen[size_t(o.index)]);
        welche << (summe ? wer : QString::number(startup::kFirstPort + o.index));
        platform::Notify(QStringLiteral("WinVarno"),
                         QStringLiteral("%1: Kosten %2 im Monat %3, Budget %4")
                             .arg(summe ? QStringLiteral("Summe aller Anschlüsse")
                                        : QStringLiteral("Anschluß ") + wer,
                                  charges::Money(o.costs, punkt), monat,
                                  charges::Money(o.budget, punkt)));
    }
    const charges::Overrun& o = neu.front();
    const QString betrag =
        QStringLiteral("%1 von %2")
            .arg(charges::Money(o.costs, punkt), charges::Money(o.budget, punkt));
    if (neu.size() > 1)
        ZeigeMeldung(meldung::BudgetMehrere, stufe::Fehler, welche.join(QStringLiteral(", ")));
    else if (o.index == charges::kBudgetSum)
        ZeigeMeldung(meldung::BudgetSumme, stufe::Fehler, betrag);
    else
        ZeigeMeldung(meldung::BudgetAnschluss, stufe::Fehler,
                     PortMitName(o.index, namen[size_t(o.index)]) + QStringLiteral(": ") + betrag);
}
