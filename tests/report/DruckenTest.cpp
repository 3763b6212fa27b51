#include "support/WindowFixture.h"

#include "report/Printout.h"

#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>

namespace {

struct DruckenFixture : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    QPaintDevice* geraet = nullptr;
    int druckerGefragt = 0;
    bool gesperrtBeimDrucken = false;

    void start() {
        settings("[Allgemein]\nAnschluß=COM1\n");
        TUmgebung env = umgebung();
        env.drucker = [this]() {
            ++druckerGefragt;
            gesperrtBeimDrucken = !Control<QPushButton>(*w, "DruckenButton")->isEnabled() &&
                                  !Control<QPushButton>(*w, "LesenButton")->isEnabled() &&
                                  !Control<QPushButton>(*w, "BeendenButton")->isEnabled();
            return geraet;
        };
        w = std::make_unique<THauptFenster>(env);
        LetReadTimeOut(*w);
    }

    // "Schreiben" stays as it was: without a read there is nothing to write.
    bool controlsEnabled() const {
        return Control<QPushButton>(*w, "DruckenButton")->isEnabled() &&
               Control<QPushButton>(*w, "LesenButton")->isEnabled() &&
               Control<QPushButton>(*w, "OeffnenButton")->isEnabled();
    }
};

QImage Page() {
    QImage image(660, 510, QImage::Format_RGB32);
    image.setDotsPerMeterX(2362);
    image.setDotsPerMeterY(2362);
    image.fill(Qt::white);
    return image;
}

} // namespace

// The page shows each label's caption and the flags beside the image, for the
// ports the exchange has.
TEST_F(DruckenFixture, PrintsWhatTheLabelsShow) {
    start();
    w->Sitzung().Arrays().PortCount = 3;
    Control<QLabel>(*w, "Protokoll")->setText("DSS1");
    Control<QLabel>(*w, "Anschlussart")->setText("Mehrgeräte");
    Control<QLabel>(*w, "S0Extern")->setText("1");
    Control<QLabel>(*w, "S0Intern")->setText("2");
    Control<QLabel>(*w, "abSchnittstellen")->setText("3");
    Control<QLabel>(*w, "Firmware")->setText("1.93");
    Control<QLabel>(*w, "MusicOnHold")->setText("Ja");
    Control<QLabel>(*w, "EinheitenSumme")->setText("777");
    Control<QLabel>(*w, "KostenSumme")->setText("93,24");
    for (int n = 0; n < 10; ++n)
        MSNTabelle(*w, n)->setText(QString(n + 1, QChar(u'0' + n)));
    for (int i = 0; i < 8; ++i) {
        BezeichnungTabelleA(*w, i)->setText(QString("Platz %1").arg(i));
        RufumleitungTabelle(*w, i)->setText(QString("-> %1").arg(22 + i));
        BerechtigungTabelle(*w, i)->setText(QString(i + 3, u'B'));
        DienstTabelle(*w, i)->setText(QString(i + 2, u'D'));
        EinheitenTabelle(*w, i)->setText(QString::number(11 * (i + 1)));
        KostenTabelle(*w, i)->setText(QString("%1,00").arg(i + 1));
    }
    w->Sitzung().Arrays().AssignmentMatrix[0][1] = w->Sitzung().Arrays().AssignmentMatrix[0][9] =
        true;
    w->Sitzung().Arrays().AssignmentMatrix[2][4] = true;
    w->Sitzung().Arrays().PulseFlag[1] = true;
    w->Sitzung().Arrays().OutsideLineFlag[2] = true;

    QImage printed = Page();
    geraet = &printed;
    w->DruckenButtonClick();
    EXPECT_EQ(druckerGefragt, 1);
    EXPECT_TRUE(gesperrtBeimDrucken);
    EXPECT_TRUE(controlsEnabled());

    report::PrintoutData expected;
    expected.zeitpunkt = now;
    expected.protokoll = "DSS1";
    expected.anschlussart = "Mehrgeräte";
    expected.s0Extern = "1";
    expected.s0Intern = "2";
    expected.abSchnittstellen = "3";
    expected.firmware = "1.93";
    expected.musicOnHold = "Ja";
    expected.einheitenSumme = "777";
    expected.kostenSumme = "93,24";
    for (int n = 0; n < 10; ++n)
        expected.msn[n] = QString(n + 1, QChar(u'0' + n));
    expected.portCount = 3;
    for (int i = 0; i < 8; ++i) {
        report::PortRow& row = expected.ports[i];
        row.bezeichnung = QString("Platz %1").arg(i);
        row.rufumleitung = QString("-> %1").arg(22 + i);
        row.berechtigung = QString(i + 3, u'B');
        row.dienst = QString(i + 2, u'D');
        row.einheiten = QString::number(11 * (i + 1));
        row.kosten = QString("%1,00").arg(i + 1);
    }
    expected.ports[0].msns[1] = expected.ports[0].msns[9] = true;
    expected.ports[2].msns[4] = true;
    expected.ports[1].impuls = true;
    expected.ports[2].amtsholung = true;
    QImage reference = Page();
    {
        QPainter p(&reference);
        report::DrawPrintout(p, reference.rect(), expected);
    }
    EXPECT_EQ(printed, reference);

    // A caption changed after the first printout shows in the next.
    KostenTabelle(*w, 0)->setText("9,99");
    printed = Page();
    w->DruckenButtonClick();
    EXPECT_NE(printed, reference);
}

TEST_F(DruckenFixture, NoPrinterEndsSilently) {
    start();
    geraet = nullptr;
    w->DruckenButtonClick();
    EXPECT_EQ(druckerGefragt, 1);
    EXPECT_TRUE(gesperrtBeimDrucken);
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(DruckenFixture, PrinterGetsLandscapeAndTheJobTitle) {
    start();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(home.file("druck.pdf"));
    geraet = &printer;
    w->DruckenButtonClick();
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_EQ(printer.docName(), "Varno - Konfiguration");
    EXPECT_TRUE(testsupport::readAll(home.file("druck.pdf")).startsWith("%PDF"));
    EXPECT_TRUE(controlsEnabled());
}

TEST_F(DruckenFixture, PrinterThatCannotStartEndsSilently) {
    start();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(home.file("fehlt/druck.pdf")); // no such folder
    geraet = &printer;
    w->DruckenButtonClick();
    EXPECT_TRUE(gesperrtBeimDrucken);
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_FALSE(QFile::exists(home.file("fehlt/druck.pdf")));
}
