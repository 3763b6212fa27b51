#include "settings/Startup.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace startup;

TEST(CommandLine, SwitchesInAnyCaseAndAutoEndeWins) {
    struct Case {
        QStringList args;
        bool autoEnde, zyklisch;
    };
    const Case cases[] = {
        {{}, false, false},
        {{"zyklisch"}, false, true},
        {{"Zyklisch", "other"}, false, true},
        {{"autoende"}, true, false},
        {{"ZYKLISCH", "AutoEnde"}, true, false},
        {{"autoende", "Zyklisch"}, true, false},
        {{"-zyklisch", "ZYKLISCHX"}, false, false},
        // Only ASCII letters are upper-cased.
        {{QString::fromUtf8("zyklıscH")}, false, false},
    };
    for (const Case& c : cases) {
        const Switches s = ParseCommandLine(c.args);
        EXPECT_EQ(s.autoEnde, c.autoEnde) << c.args.join(' ').toStdString();
        EXPECT_EQ(s.zyklisch, c.zyklisch) << c.args.join(' ').toStdString();
    }
}

TEST(Prices, CommaTextsAndTheirLimits) {
    EXPECT_DOUBLE_EQ(PreisAusText("0,15"), 0.15);
    EXPECT_DOUBLE_EQ(PreisAusText("12,50"), 12.5);
    EXPECT_DOUBLE_EQ(PreisAusText("3.5"), 3.5);
    EXPECT_DOUBLE_EQ(PreisAusText("abc"), 0.0);
    for (const char* notANumber : {"nan", "inf", "-inf", "NaN", "1e999"})
        EXPECT_DOUBLE_EQ(PreisAusText(notANumber), 0.0) << notANumber;
    EXPECT_DOUBLE_EQ(PreisAusText(""), 0.0);
    // Only the first ten characters count.
    EXPECT_DOUBLE_EQ(PreisAusText("1,23456789999"), 1.23456789);
    EXPECT_DOUBLE_EQ(KostenProEinheitAusText("0,15"), 0.15);
    EXPECT_DOUBLE_EQ(KostenProEinheitAusText("12,50"), 0.0);
    EXPECT_DOUBLE_EQ(KostenProEinheitAusText("-1"), 0.0);
    EXPECT_DOUBLE_EQ(KostenProEinheitAusText("9,99"), 9.99);
}

TEST(CyclicPeriod, MinutesToSecondsAndCaption) {
    EXPECT_EQ(ZyklusSekundenAusWartezeit(5), 300);
    EXPECT_EQ(ZyklusSekundenAusWartezeit(1), 60);
    EXPECT_EQ(ZyklusSekundenAusWartezeit(0), 60);
    EXPECT_EQ(ZyklusSekundenAusWartezeit(-4), 60);
    EXPECT_GT(ZyklusSekundenAusWartezeit(INT_MAX), 0);
    EXPECT_EQ(ZyklusBeschriftung(300), "Alle 5 Minuten neu lesen");
    EXPECT_EQ(ZyklusBeschriftung(60), "Jede Minute neu lesen");
}

TEST(PortName, ExactlyCom1ToCom4) {
    for (const char* ok : {"COM1", "COM2", "COM3", "COM4"})
        EXPECT_TRUE(IstGueltigerPortName(ok)) << ok;
    for (const char* bad : {"com2", "COM5", "COM0", "COMx", "", " COM1", "COM1 ", "/dev/ttyS0"})
        EXPECT_FALSE(IstGueltigerPortName(bad)) << bad;
}

TEST(SettingsValues, ReadWithDefaultsAndLimits) {
    testsupport::ScratchHome home;
    const QString path = home.file("WinVarno.INI");
    testsupport::writeAll(path, "[Bezeichnungen]\n21=" + QByteArray(50, 'x') +
                                    "\n28=Fax\n[AlteEinheiten]\n22=17\n23=viele\n"
                                    "[AlteKosten]\n22=2,04\n[Allgemein]\nKosten=0,12\n"
                                    "Wartezeit=0\n[Fenster]\nY-Position=40\n"
                                    "[Zeitpunkt3]\nZeit=0730\nDatei=/tmp/n.vrn\n");
    const Einstellungen e = LiesEinstellungen(platform::IniFile(path));
    EXPECT_EQ(e.bezeichnungen[0], QString(40, 'x'));
    EXPECT_EQ(e.bezeichnungen[7], "Fax");
    EXPECT_TRUE(e.bezeichnungen[3].isEmpty());
    EXPECT_EQ(e.alteEinheiten[1], 17);
    EXPECT_EQ(e.alteEinheiten[2], 0);
    EXPECT_DOUBLE_EQ(e.alteKosten[1], 2.04);
    EXPECT_DOUBLE_EQ(e.alteKosten[0], 0.0);
    EXPECT_DOUBLE_EQ(e.kostenProEinheit, 0.12);
    EXPECT_EQ(e.zyklusSekunden, 60);
    EXPECT_FALSE(e.fensterX.has_value());
    EXPECT_EQ(e.fensterY, 40);
    EXPECT_EQ(e.zeitpunkte[0].zeit, "9999");
    EXPECT_EQ(e.zeitpunkte[2].zeit, "0730");
    EXPECT_EQ(e.zeitpunkte[2].datei, "/tmp/n.vrn");
    EXPECT_EQ(LiesPortName(platform::IniFile(path)), "COMx");
}

TEST(SettingsValues, CommsLogFromTheEnvironmentBeforeTheSettingsFile) {
    testsupport::ScratchHome home;
    const QString path = home.file("WinVarno.INI");
    EXPECT_EQ(KommunikationsProtokoll(platform::IniFile(path), QString()), QString());
    testsupport::writeAll(path, "[Diagnose]\nProtokolldatei=~/varno.log\n");
    EXPECT_EQ(KommunikationsProtokoll(platform::IniFile(path), QString()),
              QDir::home().filePath("varno.log"));
    EXPECT_EQ(KommunikationsProtokoll(platform::IniFile(path), "/tmp/x.log"), "/tmp/x.log");
}
