// The printed report.
#include "app/HauptFormular.h"
#include "report/Printout.h"

#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <memory>

namespace {

// The page shows what the labels show, edits included, and the flags kept beside the image.
report::PrintoutData Sammle(const THauptFenster& w, const QDateTime& jetzt) {
    report::PrintoutData data;
    data.zeitpunkt = jetzt;
    data.protokoll = w.Protokoll->text();
    data.anschlussart = w.Anschlussart->text();
    data.s0Extern = w.S0Extern->text();
    data.s0Intern = w.S0Intern->text();
    data.abSchnittstellen = w.abSchnittstellen->text();
    data.firmware = w.Firmware->text();
    data.musicOnHold = w.MusicOnHold->text();
    for (int n = 0; n < THauptFenster::kMsns; ++n)
        data.msn[std::size_t(n)] = w.MSNTabelle[std::size_t(n)]->text();
    data.portCount = w.Arrays.UsedPorts();
    for (std::size_t i = 0; i < std::size_t(THauptFenster::kPorts); ++i) {
        report::PortRow& row = data.ports[i];
        row.bezeichnung = w.BezeichnungTabelleA[i]->text();
        row.rufumleitung = w.RufumleitungTabelle[i]->text();
        row.berechtigung = w.BerechtigungTabelle[i]->text();
        row.dienst = w.DienstTabelle[i]->text();
        row.einheiten = w.EinheitenTabelle[i]->text();
        row.kosten = w.KostenTabelle[i]->text();
        for (std::size_t m = 0; m < std::size_t(THauptFenster::kMsns); ++m)
            row.msns[m] = w.Arrays.AssignmentMatrix[i][m];
        row.impuls = w.Arrays.PulseFlag[i];
        row.amtsholung = w.Arrays.OutsideLineFlag[i];
    }
    data.einheitenSumme = w.EinheitenSumme->text();
    data.kostenSumme = w.KostenSumme->text();
    return data;
}

// The controls come back however the printout ends, an exception included.
class Sperre {
public:
    explicit Sperre(THauptFenster& w) : m_w(w) { m_w.SetControlsEnabled(false); }
    ~Sperre() { m_w.SetControlsEnabled(true); }
    Sperre(const Sperre&) = delete;
    Sperre& operator=(const Sperre&) = delete;

private:
    THauptFenster& m_w;
};

} // namespace

void THauptFenster::DruckenButtonClick() {
    Sperre sperre(*this);
    // Failures of the printout are not reported to the user: it simply ends.
    try {
        std::unique_ptr<QPrinter> standard;
        QPaintDevice* geraet = nullptr;
        if (m_env.drucker) {
            geraet = m_env.drucker();
        } else if (!QPrinterInfo::defaultPrinter().isNull()) {
            standard = std::make_unique<QPrinter>(QPrinter::HighResolution);
            geraet = standard.get();
        }
        if (!geraet)
            return;
        if (auto* printer = dynamic_cast<QPrinter*>(geraet)) {
            printer->setPageOrientation(QPageLayout::Landscape);
            printer->setDocName(QStringLiteral("Varno - Konfiguration"));
            if (!printer->isValid())
                return;
        }
        QPainter painter;
        if (!painter.begin(geraet))
            return;
        // After the orientation is set: the printable area in device pixels.
        report::DrawPrintout(painter, QRect(0, 0, geraet->width(), geraet->height()),
                             Sammle(*this, m_env.now()));
        painter.end();
    } catch (const std::exception&) {
    }
}
