#include "support/WindowFixture.h"

#include "app/MatrixBild.h"
#include "app/MatrixGlyphs.h"
#include "config/ParameterFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

namespace {

// An image as a firmware 1.93 exchange with `ports` a/b ports would hold it.
config::ConfigImage Beispiel(int ports) {
    config::ConfigImage img;
    auto b = img.BasicBlock();
    b[config::basic::ConnectionType] = 1;
    b[config::basic::PortCount] = static_cast<std::uint8_t>(ports);
    b[config::basic::Protocol] = 1;
    b[config::basic::FirmwareMajor] = 1;
    b[config::basic::FirmwareMinor] = 93;
    for (int m = 0; m < 10; ++m)
        img.SetMsnText(m, QString::number(4711000 + m));
    img.SetAssignmentMask(0, 0x01); // MSN 0 rings on 21
    img.SetAssignmentMask(3, 0x06); // MSN 3 on 22 and 23
    for (int p = 1; p <= 8; ++p) {
        auto r = img.Port(p);
        r.SetPermission(static_cast<std::uint8_t>(p % 5));
        r.SetService(static_cast<std::uint8_t>(p % 6));
        r.SetPulse(p % 2 == 1);
        r.SetOutsideLine(p == 2);
        r.SetForwardingNumberText(u"0301234567");
    }
    img.Port(1).SetForwardingPort(23);
    for (int i = 0; i < 176; ++i)
        img.ChargeBlock()[i] = static_cast<std::uint8_t>(i + 1);
    return img;
}

bool Ticked(TMatrixBild* cell) {
    return cell->picture().pixel(7, 8) == qRgb(0, 0, 0);
}
bool Greyed(TMatrixBild* cell) {
    return QColor(cell->picture().pixel(9, 8)) == config::ButtonFaceColour();
}

struct KonfigurationFixture : WindowFixture {
    QString chosen; // what the fake dialog answers
    QString proposed;
    std::unique_ptr<THauptFenster> window() {
        TUmgebung env = umgebung();
        env.dateiDialog = [this](QFileDialog* d) {
            proposed = d->selectedFiles().value(0);
            return chosen;
        };
        return std::make_unique<THauptFenster>(env);
    }
    QString save(const config::ConfigImage& img, const QString& name) {
        const QString path = home.file(name);
        EXPECT_TRUE(config::SaveParameterFile(path, img));
        return path;
    }
};

} // namespace

TEST_F(KonfigurationFixture, LoadingFillsTheViewsAndKeepsTheCounters) {
    auto w = window();
    for (int i = 0; i < 176; ++i)
        w->Sitzung().Image().ChargeBlock()[i] = 0xAB;
    chosen = save(Beispiel(8), "acht.vrn");
    w->OeffnenClick();
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93");
    EXPECT_EQ(Control<QLabel>(*w, "Protokoll")->text(), "DSS1");
    EXPECT_EQ(Control<QLabel>(*w, "Anschlussart")->text(), QString::fromUtf8("Anlagenanschluß"));
    EXPECT_EQ(Control<QLabel>(*w, "abSchnittstellen")->text(), "8");
    EXPECT_EQ(MSNTabelle(*w, 3)->text(), "4711003");
    EXPECT_EQ(RufumleitungTabelle(*w, 0)->text(), "23") << "internal port";
    EXPECT_EQ(RufumleitungTabelle(*w, 1)->text(), "0301234567");
    EXPECT_EQ(BerechtigungTabelle(*w, 0)->text(), "Inland");
    EXPECT_EQ(DienstTabelle(*w, 4)->text(), "Kombidienst");
    EXPECT_TRUE(Ticked(MSNMatrixTabelle(*w, 0, 0)));
    EXPECT_FALSE(Ticked(MSNMatrixTabelle(*w, 0, 3)));
    EXPECT_TRUE(Ticked(MSNMatrixTabelle(*w, 1, 3)));
    EXPECT_TRUE(Ticked(MSNMatrixTabelle(*w, 2, 3)));
    EXPECT_TRUE(Ticked(ImpulsTabelle(*w, 0)));
    EXPECT_FALSE(Ticked(ImpulsTabelle(*w, 1)));
    EXPECT_TRUE(Ticked(AmtsholungTabelle(*w, 1)));
    for (int i = 0; i < 176; ++i)
        ASSERT_EQ(w->Sitzung().Image().ChargeBlock()[i], 0xAB) << "charge block kept in memory";
    // The parametrization pages follow the decode.
    EXPECT_EQ(Control<QLineEdit>(*w, "TelefonNummer")->text(), "4711000");
    EXPECT_TRUE(ZuordnungTabelle(*w, 0)->isChecked());
    EXPECT_FALSE(ZuordnungTabelle(*w, 1)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(*w, "GebuehrenImpuls")->isChecked());
    EXPECT_EQ(Control<QComboBox>(*w, "BerechtigungsAuswahl")->currentIndex(), 1);
    EXPECT_EQ(Control<QComboBox>(*w, "abAuswahl")->count(), 8);
}

TEST_F(KonfigurationFixture, FewerPortsGreyTheRestUntilAFullerImageComes) {
    auto w = window();
    chosen = save(Beispiel(3), "drei.vrn");
    w->OeffnenClick();
    EXPECT_EQ(Control<QComboBox>(*w, "abAuswahl")->count(), 3);
    EXPECT_EQ(Control<QComboBox>(*w, "abAuswahl")->itemText(2), QString::fromUtf8("Anschluß 23"));
    for (int i = 0; i < 8; ++i) {
        const bool unused = i >= 3;
        EXPECT_EQ(ZuordnungTabelle(*w, i)->isEnabled(), !unused) << i;
        EXPECT_EQ(BezeichnungTabelleA(*w, i)->isEnabled(), !unused) << i;
        EXPECT_EQ(BezeichnungTabelleC(*w, i)->isEnabled(), !unused) << i;
        EXPECT_EQ(Greyed(MSNMatrixTabelle(*w, i, 9)), unused) << i;
        EXPECT_EQ(Greyed(ImpulsTabelle(*w, i)), unused) << i;
        EXPECT_EQ(Greyed(AmtsholungTabelle(*w, i)), unused) << i;
    }
    // With three ports, forwarding to 23 is internal; with two it would not be.
    EXPECT_EQ(RufumleitungTabelle(*w, 0)->text(), "23");

    config::ConfigImage zwei = Beispiel(2);
    zwei.Port(3).SetPermission(0);
    chosen = save(zwei, "zwei.vrn");
    w->OeffnenClick();
    EXPECT_EQ(RufumleitungTabelle(*w, 0)->text(), "0301234567");
    EXPECT_EQ(BerechtigungTabelle(*w, 2)->text(), "Ankommend") << "row 23 is no longer decoded";

    chosen = save(Beispiel(8), "acht.vrn");
    w->OeffnenClick();
    EXPECT_EQ(Control<QComboBox>(*w, "abAuswahl")->count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(BezeichnungTabelleB(*w, i)->isEnabled()) << i;
        EXPECT_FALSE(Greyed(MSNMatrixTabelle(*w, i, 0))) << i;
        EXPECT_EQ(Ticked(ImpulsTabelle(*w, i)), i % 2 == 0) << i;
    }
}

TEST_F(KonfigurationFixture, ShortOrMissingFileChangesNothing) {
    auto w = window();
    chosen = save(Beispiel(8), "acht.vrn");
    w->OeffnenClick();
    const config::ConfigImage before = w->Sitzung().Image();
    QByteArray shortFile = before.ToByteArray().left(587);
    shortFile[4] = 9;
    testsupport::writeAll(home.file("kurz.vrn"), shortFile);
    for (const auto& [path, grund] :
         {std::pair{home.file("kurz.vrn"), QString()},
          std::pair{home.file("fehlt.vrn"), QString::fromUtf8(": Ordner oder Datei fehlt")}}) {
        chosen = path;
        w->OeffnenClick();
        EXPECT_EQ(w->statusText(0),
                  QString::fromUtf8("2:Datei %1 konnte nicht geöffnet werden").arg(path) + grund);
        EXPECT_TRUE(w->Sitzung().Image() == before);
        EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93");
    }
    chosen.clear(); // cancelled
    w->ZeigeMeldung(0, 0);
    w->OeffnenClick();
    EXPECT_EQ(w->statusText(0), "0:");
}

TEST_F(KonfigurationFixture, SavingProposesTodaysNameAndWritesTheImage) {
    auto w = window();
    chosen = home.file("neu.vrn");
    w->SpeichernClick();
    EXPECT_TRUE(proposed.endsWith("/WinVarno_261207.VRN")) << proposed.toStdString();
    EXPECT_EQ(testsupport::readAll(chosen), QByteArray(588, '\0'));

    chosen = save(Beispiel(8), "acht.vrn");
    w->OeffnenClick();
    chosen = home.file("kopie.vrn");
    w->SpeichernClick();
    EXPECT_EQ(testsupport::readAll(chosen), w->Sitzung().Image().ToByteArray());
}

TEST_F(KonfigurationFixture, FailedSaveIsReportedAndKeepsTheOldFile) {
    auto w = window();
    testsupport::writeAll(home.file("blocker"), "x");
    chosen = home.file("blocker/sub.vrn"); // a file where a directory should be
    w->SpeichernClick();
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Datei %1 konnte nicht gespeichert werden: ein Teil des Pfads "
                                "ist kein Ordner")
                  .arg(chosen));
    EXPECT_EQ(testsupport::readAll(home.file("blocker")), QByteArray("x"));
}
