// The settings dialog taken from the red start-up message to a read of the chosen
// device, with the real serial component and the simulated exchange.
#include "E2eFixture.h"

#include "app/EinstellungenDialog.h"
#include "app/StatusZeile.h"

#include "serial/Comm32.h"
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TEST_F(E2eFixture, DialogFromTheStartMessageWritesTheSettingsAndReadsTheChosenDevice) {
    ASSERT_NO_FATAL_FAILURE(startExchange());
    const QString device = QString::fromStdString(sim->DevicePath());
    const QByteArray datei = "; von Hand\n[Fenster]\nX-Position=10\n";
    settings(datei);
    TUmgebung env = umgebung();
    env.line = nullptr;
    w = std::make_unique<THauptFenster>(env);
    Control<QTimer>(*w, "SekundenTimer")->stop();
    ASSERT_EQ(w->statusText(0), QString::fromUtf8("2:Portadresse 'COMx' ist ungültig"));

    QTest::mouseClick(Control<TStatusZeile>(*w, "StatusZeile"), Qt::LeftButton, {}, QPoint(20, 10));
    TEinstellungenDialog* d = w->EinstellungenDialog();
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->isVisible());
    d->SchnittstelleAuswahl->setCurrentIndex(1);
    d->GeraetAuswahl->setEditText(device);
    d->KostenEingabe->setText("12,5");
    d->WartezeitEingabe->setText("5");
    d->BezeichnungEingabe[0]->setText(QString::fromUtf8("Büro"));
    QTest::mouseClick(d->OKButton, Qt::LeftButton);
    EXPECT_EQ(d->GrundText->text(), QString::fromUtf8("Kosten pro Einheit: höchstens 9,99"));
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(testsupport::readAll(settingsPath()), datei) << "nothing written";

    d->KostenEingabe->setText("0,15");
    QTest::mouseClick(d->OKButton, Qt::LeftButton);
    EXPECT_EQ(testsupport::readAll(settingsPath()),
              datei +
                  "\n[Allgemein]\nAnschluß=COM2\nKosten=0,15\nWartezeit=5\n"
                  "\n[Schnittstellen]\nCOM2=" +
                  device.toUtf8() + "\n\n[Bezeichnungen]\n21=Büro\n");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return readDone(); }, kWaitMs))
        << w->statusText(0).toStdString();
    EXPECT_EQ(w->EinstellungenDialog(), nullptr);
    EXPECT_TRUE(Control<TComm32>(*w, "Communication")->IsOpen());
    EXPECT_EQ(w->Sitzung().CommPort(), "COM2");
    EXPECT_EQ(requestsAnswered().size(), 3);
    EXPECT_EQ(BezeichnungTabelleC(*w, 0)->text(), QString::fromUtf8("Büro"));
    EXPECT_DOUBLE_EQ(w->Sitzung().KostenProEinheit(), 0.15);
    EXPECT_EQ(w->Sitzung().ZyklusSekunden(), 300);
    EXPECT_EQ(Control<QCheckBox>(*w, "ZyklischNeuLesen")->text(), "Alle 5 Minuten neu lesen");
}
