#include "settings/EinstellungenModell.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace einstellungen;
using serial::TPortFailure;

namespace {

// A file as a user keeps it: comments, a section no one knows, Windows-1252 bytes,
// CR LF line ends, a blank in front of a key and no line end at the very end.
const QByteArray kDatei = "; meine Anlage\r\n"
                          "[Allgemein]\r\n"
                          "Anschlu\xDF=COM1\r\n"
                          "Kosten=0.12\r\n"
                          "  Wartezeit=0\r\n"
                          "[Eigenes]\r\n"
                          "Schl\xFC\x73sel=\x80 \x9C\r\n"
                          "[Schnittstellen]\r\n"
                          "COM1=/dev/ttyUSB0\r\n"
                          "[Bezeichnungen]\r\n"
                          "; Flur links\r\n"
                          "21=B\xFCro\r\n"
                          "23=" +
                          QByteArray(45, 'L');

serial::TProbeResult Passt(const QString&) {
    return {};
}

TWerte Gueltig() {
    TWerte w;
    w.anschluss = "COM2";
    w.geraete = {"/dev/ttyUSB0", "/dev/serial/by-id/usb-x", "/dev/ttyS2", "/dev/ttyS3"};
    w.kosten = "0,15";
    w.wartezeit = "5";
    return w;
}

} // namespace

TEST(EinstellungenModell, ReadsWhatTheProgramTakes) {
    testsupport::ScratchHome home;
    testsupport::writeAll(home.file("a.INI"), kDatei);
    const TWerte w = Lies(platform::IniFile(home.file("a.INI")));
    EXPECT_EQ(w.anschluss, "COM1");
    EXPECT_EQ(w.geraete[0], "/dev/ttyUSB0");
    EXPECT_EQ(w.geraete[1], "/dev/ttyS1");
    EXPECT_EQ(w.kosten, "0,12");
    EXPECT_EQ(w.wartezeit, "1");
    EXPECT_EQ(w.bezeichnungen[0], QString::fromUtf8("Büro"));
    EXPECT_EQ(w.bezeichnungen[2], QString(40, 'L'));

    const TWerte leer = Lies(platform::IniFile(home.file("none.INI")));
    EXPECT_EQ(leer.anschluss, "COMx");
    EXPECT_EQ(leer.AnschlussIndex(), -1);
    EXPECT_EQ(leer.kosten, "0,00");
    testsupport::writeAll(home.file("b.INI"), "[Allgemein]\nKosten=0,125\n");
    EXPECT_EQ(Lies(platform::IniFile(home.file("b.INI"))).kosten, "0,125");
}

TEST(EinstellungenModell, RefusesValuesOutOfRangeWithTheirReason) {
    EXPECT_FALSE(Pruefe(Gueltig(), Passt));
    struct Case {
        std::function<void(TWerte&)> change;
        TFeld feld;
        int port;
    };
    const Case cases[] = {
        {[](TWerte& w) { w.anschluss = "com2"; }, TFeld::Schnittstelle, 0},
        {[](TWerte& w) { w.geraete[1] = " "; }, TFeld::Geraet, 0},
        {[](TWerte& w) { w.geraete[1] = "/dev/tty\nUSB0"; }, TFeld::Geraet, 0},
        {[](TWerte& w) { w.geraete[1] = "/dev/" + QString(5000, 'a'); }, TFeld::Geraet, 0},
        {[](TWerte& w) { w.kosten = "10"; }, TFeld::Kosten, 0},
        {[](TWerte& w) { w.kosten = "9,991"; }, TFeld::Kosten, 0},
        {[](TWerte& w) { w.kosten = "0,1234567890"; }, TFeld::Kosten, 0},
        {[](TWerte& w) { w.kosten = "1,2,3"; }, TFeld::Kosten, 0},
        {[](TWerte& w) { w.wartezeit = "0"; }, TFeld::Wartezeit, 0},
        {[](TWerte& w) { w.wartezeit = "1441"; }, TFeld::Wartezeit, 0},
        {[](TWerte& w) { w.bezeichnungen[3] = QString(41, 'x'); }, TFeld::Bezeichnung, 3},
        {[](TWerte& w) { w.bezeichnungen[7] = "a\tb"; }, TFeld::Bezeichnung, 7},
    };
    for (const Case& c : cases) {
        TWerte w = Gueltig();
        c.change(w);
        const auto fehler = Pruefe(w, Passt);
        ASSERT_TRUE(fehler);
        EXPECT_EQ(fehler->feld, c.feld) << fehler->grund.toStdString();
        EXPECT_EQ(fehler->port, c.port) << fehler->grund.toStdString();
        EXPECT_FALSE(fehler->grund.isEmpty());
    }
    TWerte grenzen = Gueltig();
    grenzen.kosten = " 9.99 ";
    grenzen.wartezeit = "1440";
    EXPECT_FALSE(Pruefe(grenzen, Passt));
}

TEST(EinstellungenModell, OnlyADeviceThatCannotBeASerialPortIsRefused) {
    QStringList probed;
    auto probe = [&](TPortFailure failure) {
        return [&probed, failure](const QString& pfad) {
            probed << pfad;
            return serial::TProbeResult{failure, ENOTTY};
        };
    };
    EXPECT_FALSE(Pruefe(Gueltig(), probe(TPortFailure::Busy)));
    EXPECT_FALSE(Pruefe(Gueltig(), probe(TPortFailure::NoPermission)));
    EXPECT_EQ(probed, QStringList(2, "/dev/serial/by-id/usb-x")) << "the chosen name's device";
    const auto fehler = Pruefe(Gueltig(), probe(TPortFailure::NotSerial));
    ASSERT_TRUE(fehler);
    EXPECT_EQ(fehler->feld, TFeld::Geraet);
    EXPECT_EQ(fehler->grund, "/dev/serial/by-id/usb-x ist keine serielle Schnittstelle");
}

TEST(EinstellungenModell, WritesOnlyTheChangedKeysItOwnsAndKeepsEveryOtherByte) {
    testsupport::ScratchHome home;
    const QString pfad = home.file("WinVarno.INI");
    testsupport::writeAll(pfad, kDatei);

    // What the file says already changes nothing: "0,12" is its 0.12, 1 its 0.
    TWerte w = Lies(platform::IniFile(pfad));
    w.geraete[1] = "/dev/ttyACM0"; // another port name's device is not written
    EXPECT_FALSE(Speichere(pfad, w));
    EXPECT_EQ(testsupport::readAll(pfad), kDatei);

    w.anschluss = "COM2";
    w.geraete[1] = " /dev/ttyACM0 ";
    w.kosten = "0,2";
    w.wartezeit = "15";
    w.bezeichnungen[1] = "Fax";
    w.bezeichnungen[2] = " Flur ";
    EXPECT_FALSE(Speichere(pfad, w));
    EXPECT_EQ(testsupport::readAll(pfad), "; meine Anlage\r\n"
                                          "[Allgemein]\r\n"
                                          "Anschlu\xC3\x9F=COM2\r\n"
                                          "Kosten=0,2\r\n"
                                          "Wartezeit=15\r\n"
                                          "[Eigenes]\r\n"
                                          "Schl\xFC\x73sel=\x80 \x9C\r\n"
                                          "[Schnittstellen]\r\n"
                                          "COM1=/dev/ttyUSB0\r\n"
                                          "COM2=/dev/ttyACM0\r\n"
                                          "[Bezeichnungen]\r\n"
                                          "; Flur links\r\n"
                                          "21=B\xFCro\r\n"
                                          "23=Flur\r\n"
                                          "22=Fax\r\n");
}

TEST(EinstellungenModell, AFullDiskKeepsTheFileAndGivesTheReason) {
    testsupport::ScratchHome home;
    const QString pfad = home.file("WinVarno.INI");
    testsupport::writeAll(pfad, kDatei);
    TWerte w = Lies(platform::IniFile(pfad));
    w.kosten = "0,2";
    std::optional<QString> grund;
    {
        testsupport::FileSizeLimit full(0);
        grund = Speichere(pfad, w);
    }
    ASSERT_TRUE(grund);
    EXPECT_TRUE(grund->endsWith(QString::fromUtf8(": Datei zu groß"))) << grund->toStdString();
    EXPECT_EQ(testsupport::readAll(pfad), kDatei);
}

TEST(EinstellungenModell, AFileThatCannotBeReadIsNotReplaced) {
    testsupport::ScratchHome home;
    const QString pfad = home.file("WinVarno.INI");
    QDir().mkpath(pfad);
    EXPECT_TRUE(Speichere(pfad, Gueltig()));
    EXPECT_TRUE(QFileInfo(pfad).isDir());
}
