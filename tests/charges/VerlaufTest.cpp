#include "support/WindowFixture.h"

#include "app/GebuehrenVerlauf.h"
#include "charges/ChargeLog.h"

#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTableView>

namespace {

// The desktop's notification server, as far as WinVarno uses it.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList seen; // "app|summary|body"
public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        seen << app + "|" + summary + "|" + body;
        return uint(seen.size());
    }
};

QByteArray Row(const QDate& date, std::array<int, 8> c) {
    int sum = 0;
    for (int v : c)
        sum += v;
    return charges::LogRow(QDateTime(date, QTime(8, 0)), c, sum);
}

struct VerlaufFixture : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    QString chosen; // what the save dialog "returns"
    void start(const QByteArray& extra = {}) {
        settings(QByteArray("[Allgemein]\nAnschluß=COM1\nKosten=0,10\n"
                            "[Bezeichnungen]\n21=Büro\n") +
                 extra);
        TUmgebung env = umgebung();
        env.dateiDialog = [this](QFileDialog*) { return chosen; };
        w = std::make_unique<THauptFenster>(env);
        LetReadTimeOut(*w);
        w->Sitzung().Image().BasicBlock()[2] = 8;
        w->DecodeBasicBlock();
    }
    void log(const QByteArray& rows) {
        testsupport::writeAll(w->Sitzung().ChargeLogPath(), charges::LogHeader() + rows);
    }
    void read(std::array<int, 8> units) {
        for (int p = 1; p <= 8; ++p)
            w->Sitzung().Image().SetUnitCounterValue(p, std::uint16_t(units[size_t(p - 1)]));
        w->EvaluateCharges();
    }
};

} // namespace

TEST_F(VerlaufFixture, TheWindowShowsAndExportsTheCostsPerPeriod) {
    start();
    log(Row(QDate(2026, 10, 30), {}) + Row(QDate(2026, 11, 2), {10, 0, 0, 0, 0, 0, 0, 0}) +
        Row(QDate(2026, 12, 1), {15, 4, 0, 0, 0, 0, 0, 0}) + "kaputt\r\n");
    ASSERT_NE(Control<QPushButton>(*w, "VerlaufButton"), nullptr);
    EXPECT_EQ(Control<QPushButton>(*w, "VerlaufButton")->parentWidget(),
              Control<QWidget>(*w, "TabGebuehren"));
    EXPECT_EQ(Control<QPushButton>(*w, "VerlaufButton")->text(), "Verlauf...");
    Control<QPushButton>(*w, "VerlaufButton")->click();
    auto* v = w->findChild<TGebuehrenVerlauf*>("GebuehrenVerlauf");
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(v->windowTitle(), QString::fromUtf8("Gebührenverlauf"));

    // By month: a row per month, the costs with the decimal comma.
    const QAbstractItemModel* table = v->Tabelle->model();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->index(1, 0).data().toString(), "2026-11");
    EXPECT_EQ(table->index(1, 1).data().toString(), "1,00");
    EXPECT_EQ(table->index(2, 2).data().toString(), "0,40");
    EXPECT_EQ(table->index(2, 9).data().toString(), "0,90");
    EXPECT_EQ(table->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("21 Büro"));
    EXPECT_EQ(v->Meldung->text(),
              QString::fromUtf8("Übersprungene Zeilen im Gebührenprotokoll: 1 (die erste ist "
                                "Zeile 7)"));
    // The chart: one stacked set per port that has costs, named as in the legend.
    auto* series = qobject_cast<QStackedBarSeries*>(v->Diagramm->chart()->series().value(0));
    ASSERT_NE(series, nullptr);
    ASSERT_EQ(series->count(), 2);
    EXPECT_EQ(series->barSets()[0]->label(), QString::fromUtf8("21 Büro"));
    EXPECT_EQ(series->barSets()[1]->label(), "22");
    EXPECT_DOUBLE_EQ(series->barSets()[1]->at(2), 0.4);

    v->ZeitraumAuswahl->setCurrentIndex(v->ZeitraumAuswahl->findText("Jahr"));
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->index(0, 0).data().toString(), "2026");

    // Exported as shown, replacing an older file; a place that cannot be written
    // says so and leaves nothing behind.
    chosen = home.file("export.csv");
    testsupport::writeAll(chosen, "old");
    v->ExportierenButton->click();
    const QList<QByteArray> lines = testsupport::readAll(chosen).split('\n');
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[0], "Zeitraum;Anschluß;Bezeichnung;Einheiten;Kosten\r");
    EXPECT_EQ(lines[1], "2026;21;Büro;15;1,50\r");
    EXPECT_EQ(lines[9], "2026;Summe;;19;1,90\r");
    const QByteArray exported = testsupport::readAll(chosen);
    {
        testsupport::FileSizeLimit full(0);
        v->ExportierenButton->click();
    }
    EXPECT_EQ(v->Meldung->text(),
              "Datei " + chosen +
                  QString::fromUtf8(" konnte nicht gespeichert werden: Datei zu groß"));
    EXPECT_EQ(testsupport::readAll(chosen), exported) << "a full disk keeps the earlier export";
    chosen = home.file("nicht/da.csv");
    v->ExportierenButton->click();
    EXPECT_EQ(v->Meldung->text(),
              "Datei " + chosen +
                  QString::fromUtf8(" konnte nicht gespeichert werden: Ordner oder Datei fehlt"));
    EXPECT_FALSE(QFile::exists(chosen));

    // A new read shows up in the open window.
    testsupport::writeAll(w->Sitzung().ChargeLogPath(),
                          testsupport::readAll(w->Sitzung().ChargeLogPath()) +
                              Row(QDate(2027, 1, 3), {25, 4, 0, 0, 0, 0, 0, 0}));
    read({25, 4, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(table->rowCount(), 2);
}

TEST_F(VerlaufFixture, ABudgetExceededIsReportedOncePerMonth) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    QDBusConnection server =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("server"));
    FakeNotifications notifications;
    ASSERT_TRUE(server.registerObject("/org/freedesktop/Notifications", &notifications,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService("org.freedesktop.Notifications"));

    start("[Budget]\n21=1,00\nSumme=5,00\n");
    log(Row(QDate(2026, 11, 30), {}) + Row(QDate(2026, 12, 1), {8, 0, 0, 0, 0, 0, 0, 0}));
    read({8, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(w->statusText(0), "0:") << "0,80 of 1,00";

    read({12, 0, 0, 0, 0, 0, 0, 0}); // the window appends the row itself
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Monatsbudget überschritten: Anschluß 21 (Büro): 1,20 von 1,00"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return notifications.seen.size() == 1; }));
    EXPECT_EQ(notifications.seen[0],
              QString::fromUtf8("WinVarno|WinVarno|Anschluß 21 (Büro): Kosten 1,20 im Monat "
                                "12/2026, Budget 1,00"));

    read({15, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(w->statusText(0), "0:") << "once per month";
    // Started anew in the same month: still quiet. In the next one it warns again,
    // and both budgets at once are named together.
    w.reset();
    start("[Budget]\n21=1,00\nSumme=5,00\n");
    read({16, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(w->statusText(0), "0:");
    now = QDateTime(QDate(2027, 1, 2), QTime(9, 0));
    read({80, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("2:Monatsbudgets überschritten: 21, Summe"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return notifications.seen.size() == 3; }));
    EXPECT_TRUE(notifications.seen[2].contains(
        QString::fromUtf8("Summe aller Anschlüsse: Kosten 6,40 im Monat 01/2027, Budget 5,00")));
}

#include "VerlaufTest.moc"
