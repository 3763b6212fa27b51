#include "support/WindowFixture.h"

#include "app/MatrixBild.h"
#include "app/MatrixGlyphs.h"
#include "app/ZeitEdit.h"
#include "config/ParameterFile.h"
#include "device/PacedSend.h"
#include "platform/IniFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

QColor Colour(QLabel* l) {
    return l->palette().color(QPalette::WindowText);
}
QRgb TickPixel(TMatrixBild* cell) {
    return cell->picture().pixel(7, 8);
}

// A window holding a decoded eight-port image, its first read done.
struct EditFixture : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    QString chosen;
    void SetUp() override {
        device::SetPacingStep(std::chrono::milliseconds(0));
        settings("[Allgemein]\nAnschluß=COM1\n");
        TUmgebung env = umgebung();
        env.dateiDialog = [this](QFileDialog*) { return chosen; };
        w = std::make_unique<THauptFenster>(env);
        LetReadTimeOut(*w);
        auto b = w->Sitzung().Image().BasicBlock();
        b[2] = 8;
        b[4] = 1;
        b[5] = 93;
        for (int m = 0; m < 10; ++m)
            w->Sitzung().Image().SetMsnText(m, QString::number(4711000 + m));
        w->Sitzung().Image().SetAssignmentMask(0, 0x03);
        w->Sitzung().Image().Port(1).Bytes()[4] = 2; // neither on nor off
        w->DecodeBasicBlock();
        w->DecodeTerminalBlock();
        w->EvaluateCharges();
        w->Sitzung().Transfer().ImageLoaded(); // as from a parameter file
        w->SetControlsEnabled(true);
        calls.clear();
    }
    void TearDown() override { device::SetPacingStep(std::chrono::milliseconds(50)); }
    void chooseMsn(int m) {
        Control<QComboBox>(*w, "MSNAuswahl")->setCurrentIndex(m);
        w->OnMSNAuswahlChange();
    }
    void choosePort(int p) {
        Control<QComboBox>(*w, "abAuswahl")->setCurrentIndex(p);
        w->OnabAuswahlChange();
    }
};

} // namespace

TEST_F(EditFixture, MsnNumberTakenOnTheNextSelection) {
    chooseMsn(3);
    EXPECT_EQ(Control<QLineEdit>(*w, "TelefonNummer")->text(), "4711003");
    Control<QLineEdit>(*w, "TelefonNummer")->setText("0221");
    EXPECT_EQ(MSNTabelle(*w, 3)->text(), "4711003") << "nothing before a commit point";
    chooseMsn(4);
    const auto bytes = w->Sitzung().Image().MsnNumber(3);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes.data()), 5).toHex(), "2012ffffff");
    EXPECT_EQ(w->Sitzung().Image().BasicBlock()[22], 0x20);
    EXPECT_EQ(MSNTabelle(*w, 3)->text(), "0221");
    EXPECT_EQ(Colour(MSNTabelle(*w, 3)), QColor(Qt::red));
    EXPECT_EQ(Colour(MSNTabelle(*w, 4)), QColor(Qt::black));
    EXPECT_EQ(Control<QLineEdit>(*w, "TelefonNummer")->text(), "4711004");

    Control<QLineEdit>(*w, "TelefonNummer")->setText("123456789012");
    chooseMsn(0);
    EXPECT_EQ(MSNTabelle(*w, 4)->text(), "1234567890") << "what is stored, as a decode shows it";
    EXPECT_EQ(w->Sitzung().Image().MsnText(4), "1234567890");
    w->DecodeBasicBlock();
    EXPECT_EQ(MSNTabelle(*w, 4)->text(), "1234567890");
    EXPECT_EQ(Colour(MSNTabelle(*w, 3)), QColor(Qt::black));

    // Letters never get into the field.
    QTest::keyClicks(Control<QLineEdit>(*w, "TelefonNummer"), "12a3");
    EXPECT_FALSE(Control<QLineEdit>(*w, "TelefonNummer")->text().contains('a'));
}

TEST_F(EditFixture, UntickingAnAssignmentClearsItsBitAndCell) {
    EXPECT_TRUE(ZuordnungTabelle(*w, 1)->isChecked());
    EXPECT_EQ(TickPixel(MSNMatrixTabelle(*w, 1, 0)), qRgb(0, 0, 0));
    ZuordnungTabelle(*w, 1)->setChecked(false);
    ZuordnungTabelle(*w, 5)->setChecked(true);
    chooseMsn(1);
    EXPECT_EQ(w->Sitzung().Image().AssignmentMask(0), 0x21);
    EXPECT_FALSE(w->Sitzung().Arrays().AssignmentMatrix[1][0]);
    EXPECT_EQ(TickPixel(MSNMatrixTabelle(*w, 1, 0)), qRgb(255, 255, 255));
    EXPECT_EQ(TickPixel(MSNMatrixTabelle(*w, 5, 0)), qRgb(255, 0, 0));
    EXPECT_EQ(TickPixel(MSNMatrixTabelle(*w, 0, 0)), qRgb(0, 0, 0)) << "unchanged stays black";
}

TEST_F(EditFixture, PortValuesTakenOnTheNextPort) {
    choosePort(2);
    Tippe(Control<QLineEdit>(*w, "GebuehrenEinheiten"), "250");
    choosePort(0);
    EXPECT_EQ(w->Sitzung().Image().ChargeBlock()[5], 0xFA);
    EXPECT_EQ(w->Sitzung().Image().ChargeBlock()[6], 0x00);
    EXPECT_EQ(EinheitenTabelle(*w, 2)->text(), "250");
    EXPECT_EQ(Colour(EinheitenTabelle(*w, 2)), QColor(Qt::red));

    Control<QComboBox>(*w, "BerechtigungsAuswahl")->setCurrentIndex(4);
    choosePort(1);
    EXPECT_EQ(w->Sitzung().Image().TerminalBlock()[2], 4);
    EXPECT_EQ(BerechtigungTabelle(*w, 0)->text(), "Keine");
    EXPECT_EQ(Colour(BerechtigungTabelle(*w, 0)), QColor(Qt::red));

    Tippe(Control<QLineEdit>(*w, "GebuehrenEinheiten"), "12abc");
    choosePort(3);
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(2), 12);
    EXPECT_EQ(EinheitenTabelle(*w, 1)->text(), "12abc");

    // A value the counter cannot hold is not taken at all.
    Tippe(Control<QLineEdit>(*w, "GebuehrenEinheiten"), "70000");
    choosePort(4);
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(4), 0);
    EXPECT_EQ(EinheitenTabelle(*w, 3)->text(), "0");
    EXPECT_EQ(Colour(EinheitenTabelle(*w, 3)), QColor(Qt::black));

    w->EvaluateCharges();
    EXPECT_EQ(Colour(EinheitenTabelle(*w, 2)), QColor(Qt::black)) << "the next read redraws black";
    EXPECT_EQ(EinheitenTabelle(*w, 2)->text(), "250");
}

TEST_F(EditFixture, AnOddFlagByteStaysUntilItsBoxIsToggled) {
    choosePort(0);
    EXPECT_FALSE(Control<QCheckBox>(*w, "GebuehrenImpuls")->isChecked());
    choosePort(1);
    EXPECT_EQ(w->Sitzung().Image().Port(1).Bytes()[4], 2);
    choosePort(0);
    Control<QCheckBox>(*w, "GebuehrenImpuls")->setChecked(true);
    choosePort(1);
    EXPECT_EQ(w->Sitzung().Image().Port(1).Bytes()[4], 1);
    EXPECT_EQ(TickPixel(ImpulsTabelle(*w, 0)), qRgb(255, 0, 0));
}

TEST_F(EditFixture, CommitPointsAreThePageChanges) {
    QCheckBox* box = ZuordnungTabelle(*w, 7);
    // Leaving "Parametrierung" commits the visible inner page.
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabParametrierung"));
    box->setChecked(true);
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabZuordnung"));
    EXPECT_TRUE(w->Sitzung().Arrays().AssignmentMatrix[7][0]);

    // A port edit survives a switch to the time page.
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabParametrierung"));
    Control<QTabWidget>(*w, "ParametrierungPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "abParametrierung"));
    Control<QCheckBox>(*w, "SpontaneAmtsholung")->setChecked(true);
    Control<QTabWidget>(*w, "ParametrierungPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "ZeitParametrierung"));
    EXPECT_TRUE(w->Sitzung().Arrays().OutsideLineFlag[0]);

    // The program's own page switches run no handler.
    Control<QTabWidget>(*w, "ParametrierungPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "MSNParametrierung"));
    Control<QLineEdit>(*w, "TelefonNummer")->setText("999");
    w->ZeigeSeite(Control<QWidget>(*w, "TabKonfiguration"));
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "4711000");
}

TEST_F(EditFixture, SchreibenWithoutACommitPointSendsTheOldNumber) {
    Control<QLineEdit>(*w, "TelefonNummer")->setText("555");
    w->OnSchreibenClick();
    EXPECT_EQ(w->Sitzung().Image().MsnText(0), "4711000");
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "4711000");
    EXPECT_FALSE(calls.isEmpty());
}

TEST_F(EditFixture, TheLastPortsCounterSurvivesSchreiben) {
    w->ZeigeSeite(Control<QWidget>(*w, "TabParametrierung"),
                  Control<QWidget>(*w, "abParametrierung"));
    choosePort(7);
    Tippe(Control<QLineEdit>(*w, "GebuehrenEinheiten"), "4660");
    choosePort(0);
    QByteArray wire;
    line->onSend = [&](QByteArrayView bytes) {
        if (bytes.size() == 1)
            wire += bytes.toByteArray();
        else if (bytes == QByteArray::fromHex("83060000")) // the exchange counted 9 on every port
            line->Post(DeviceAnswer(QByteArray::fromHex("00" + QByteArray("0900").repeated(8)) +
                                    QByteArray(115, '\0')));
        else // the read-back
            line->Post(line->BlockAnswer(bytes, w->Sitzung().Image()));
        return true;
    };
    w->OnSchreibenClick();
    line->onSend = nullptr;
    QByteArray charges; // the data bytes of the last message
    const QByteArray last = wire.right(172);
    for (qsizetype i = 0; i < last.size(); ++i)
        if (i % 4 != 0)
            charges += last[i];
    EXPECT_EQ(charges.mid(0, 5).toHex(' '), "05 09 00 09 00");
    EXPECT_EQ(charges.mid(15, 2).toHex(' '), "34 12") << "4660 for port 28";
}

TEST_F(EditFixture, SelectionEntriesRemovedByADecodeCommitNothing) {
    choosePort(6);
    Tippe(Control<QLineEdit>(*w, "GebuehrenEinheiten"), "77");
    w->Sitzung().Image().BasicBlock()[2] = 3;
    w->DecodeBasicBlock();
    EXPECT_EQ(Control<QComboBox>(*w, "abAuswahl")->count(), 3);
    const int selected = Control<QComboBox>(*w, "abAuswahl")->currentIndex();
    EXPECT_LT(selected, 3);
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(7), 0);
    choosePort(selected == 0 ? 1 : 0);
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(7), 0)
        << "never into a port the exchange lacks";
}

TEST_F(EditFixture, TimeEntriesAreStoredWhenLeft) {
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabParametrierung"));
    Control<QTabWidget>(*w, "ParametrierungPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "ZeitParametrierung"));
    TZeitEdit* zeit = EditUhrzeit(*w, 1);
    zeit->setFocus();
    zeit->setZeitText("0730");
    EditDateiname(*w, 1)->setText("/tmp/morgens.vrn");
    EditDateiname(*w, 1)->setFocus();
    Control<QLineEdit>(*w, "EditTage2")->setText("fr-mo");
    QCoreApplication::processEvents();
    Control<QLineEdit>(*w, "EditTage2")->setFocus();
    EditDateiname(*w, 1)->setFocus();
    QCoreApplication::processEvents();
    const platform::IniFile ini(settingsPath());
    EXPECT_EQ(ini.readString("Zeitpunkt2", "Zeit", ""), "0730");
    EXPECT_EQ(ini.readString("Zeitpunkt2", "Datei", ""), "/tmp/morgens.vrn");
    EXPECT_EQ(ini.readString("Zeitpunkt2", "Tage", ""), "Mo,Fr,Sa,So");

    // An incomplete time refuses to be left and stores nothing.
    QStringList refusals;
    zeit->OnEingabeFehler = [&](const QString& text) { refusals << text; };
    zeit->setFocus();
    zeit->selectAll();
    QTest::keyClicks(zeit, "8");
    EXPECT_FALSE(zeit->mayLeave());
    EditDateiname(*w, 3)->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !refusals.isEmpty(); }, 2000));
    EXPECT_EQ(refusals.first(), TZeitEdit::kFehlertext);
    EXPECT_TRUE(zeit->hasFocus());
    EXPECT_EQ(platform::IniFile(settingsPath()).readString("Zeitpunkt2", "Zeit", ""), "0730");
    QTest::keyClick(zeit, Qt::Key_Escape);
    EXPECT_EQ(zeit->zeitText(), "0730");

    // "..." picks a file and stores only its name.
    chosen = home.file("abends.vrn");
    w->ButtonDurchsuchenClick(2);
    EXPECT_EQ(EditDateiname(*w, 2)->text(), chosen);
    const platform::IniFile again(settingsPath());
    EXPECT_EQ(again.readString("Zeitpunkt3", "Datei", ""), chosen);
    EXPECT_EQ(again.readString("Zeitpunkt3", "Zeit", "none"), "none");
}

TEST_F(EditFixture, LookingAtAPortSetsNothing) {
    // The last read knew two ports; a file brings all eight back.
    w->Sitzung().Image().SetUnitCounterValue(6, 77);
    w->Sitzung().Image().BasicBlock()[2] = 2;
    w->DecodeBasicBlock();
    w->EvaluateCharges();
    config::ConfigImage file = w->Sitzung().Image();
    file.BasicBlock()[2] = 8;
    chosen = home.file("acht.vrn");
    ASSERT_TRUE(config::SaveParameterFile(chosen, file));
    w->OeffnenClick();
    ASSERT_EQ(w->Sitzung().Arrays().UsedPorts(), 8);

    w->ZeigeSeite(Control<QWidget>(*w, "TabParametrierung"),
                  Control<QWidget>(*w, "abParametrierung"));
    choosePort(5);
    EXPECT_EQ(Control<QLineEdit>(*w, "GebuehrenEinheiten")->text(), "77")
        << "the port's counter, not an empty label";
    choosePort(6);
    choosePort(0);
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(6), 77);
    EXPECT_FALSE(w->Sitzung().Arrays().UnitCounterEdited[5]);
}

TEST(ZeitEdit, TheRefusalBoxIsCaptionedWithTheWindowTitle) {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Varno KM20/KM50 - Konfiguration"));
    auto* zeit = new TZeitEdit(&window);
    QString caption, text;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = static_cast<QMessageBox*>(box)->text();
        box->close();
    });
    zeit->OnEingabeFehler(TZeitEdit::kFehlertext);
    EXPECT_EQ(caption, window.windowTitle());
    EXPECT_EQ(text, TZeitEdit::kFehlertext);
}

TEST_F(EditFixture, AnMsnLabelShowsWhatIsWrittenRedOnlyWhileItDiffersFromTheRead) {
    const auto read = std::vector<std::uint8_t>(w->Sitzung().Image().MsnNumber(3).begin(),
                                                w->Sitzung().Image().MsnNumber(3).end());
    auto commit = [&](const QString& typed) {
        chooseMsn(3);
        Control<QLineEdit>(*w, "TelefonNummer")->setText(typed);
        chooseMsn(4);
    };
    commit("4711003 "); // a blank ends the number: nothing changes
    EXPECT_EQ(std::vector<std::uint8_t>(w->Sitzung().Image().MsnNumber(3).begin(),
                                        w->Sitzung().Image().MsnNumber(3).end()),
              read);
    EXPECT_EQ(MSNTabelle(*w, 3)->text(), "4711003");
    EXPECT_EQ(Colour(MSNTabelle(*w, 3)), QColor(Qt::black));
    commit("99");
    EXPECT_EQ(w->Sitzung().Image().MsnText(3), "99");
    EXPECT_EQ(Colour(MSNTabelle(*w, 3)), QColor(Qt::red));
    commit("4711003");
    EXPECT_EQ(w->Sitzung().Image().MsnText(3), "4711003");
    EXPECT_EQ(Colour(MSNTabelle(*w, 3)), QColor(Qt::black)) << "the read number again";
}
