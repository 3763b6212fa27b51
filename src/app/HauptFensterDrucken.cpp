// The printed report.
#include "app/HauptFormular.h"
#include "report/Printout.h"

#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <memory>

// The page shows what the labels show, edits included, and the flags kept beside the image.
report::PrintoutData THauptFenster::Druckdaten(const QDateTime& jetzt) const {
    const config::DecodedArrays& arrays = m_sitzung->Arrays();
    report::PrintoutData daten;
    daten.zeitpunkt = jetzt;
    daten.protokoll = Protokoll->text();
    daten.anschlussart = Anschlussart->text();
    daten.s0Extern = S0Extern->text();
    daten.s0Intern = S0Intern->text();
    daten.abSchnittstellen = abSchnittstellen->text();
    daten.firmware = Firmware->text();
    daten.musicOnHold = MusicOnHold->text();
    for (int n = 0; n < kMsns; ++n)
        daten.msn[std::size_t(n)] = MSNTabelle[std::size_t(n)]->text();
    daten.portCount = arrays.UsedPorts();
    for (std::size_t i = 0; i < std::size_t(kPorts); ++i) {
        report::PortRow& row = daten.ports[i];
        row.bezeichnung = BezeichnungTabelleA[i]->text();
        row.rufumleitung = RufumleitungTabelle[i]->text();
        row.berechtigung = BerechtigungTabelle[i]->text();
        row.dienst = DienstTabelle[i]->text();
        row.einheiten = EinheitenTabelle[i]->text();
        row.kosten = KostenTabelle[i]->text();
        for (std::size_t m = 0; m < std::size_t(kMsns); ++m)
            row.msns[m] = arrays.AssignmentMatrix[i][m];
        row.impuls = arrays.PulseFlag[i];
        row.amtsholung = arrays.OutsideLineFlag[i];
    }
    daten.einheitenSumme = EinheitenSumme->text();
    daten.kostenSumme = KostenSumme->text();
    return daten;
}

namespace {

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
                             Druckdaten(m_env.now()));
        painter.end();
    } catch (const std::exception&) {
    }
}
