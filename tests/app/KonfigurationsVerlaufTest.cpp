#include "app/KonfigurationsVerlauf.h"
#include "app/Hilfe.h"
#include "config/ConfigDiff.h"
#include "config/ConfigHistory.h"
#include "support/WindowFixture.h"

#include <QCheckBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

namespace {

using config::ConfigImage;
using config::Origin;

// Three ports, DSS1, firmware 1.93, MSN 3 = 0221, every port "Vollamt"/"Telefon".
ConfigImage Base() {
    ConfigImage image;
    auto b = image.Bytes();
    b[1] = 1, b[2] = 3, b[3] = 1, b[4] = 1, b[5] = 93, b[58] = 1, b[59] = 1;
    for (int m = 0; m < 10; ++m)
        image.SetMsnText(m, QString());
    image.SetMsnText(3, u"0221");
    for (int p = 1; p <= 8; ++p)
        image.Port(p).SetForwardingNumberText(QString());
    return image;
}

QStringList Lines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

struct KonfigurationsVerlaufFixture : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    QString dir = home.file("Verlauf");
    QDateTime stamp{QDate(2026, 12, 7), QTime(9, 5, 30), Qt::UTC};
    ConfigImage v1 = Base(), v2 = Base(), v3 = Base();

    // v1 read, v2 with another MSN 3 from a file, v3 with port 22 changed and written.
    void SetUp() override {
        v2.SetMsnText(3, u"0222");
        v3 = v2;
        v3.Port(2).SetPermission(4);
        v3.Port(2).SetPulse(true);
        config::ConfigHistory h(dir, [this] { return stamp; });
        h.Open();
        h.Record(v1, Origin::Read);
        stamp = stamp.addSecs(90);
        h.Record(v2, Origin::File, QStringLiteral("Nacht.vrn"));
        stamp = stamp.addSecs(3600);
        h.Record(v3, Origin::Written);

        settings("[Allgemein]\nAnschluß=COM1\n[Bezeichnungen]\n22=Fax\n");
    }
    TKonfigurationsVerlauf* open() {
        TUmgebung env = umgebung();
        env.konfigurationsVerlauf = dir;
        w = std::make_unique<THauptFenster>(env);
        LetReadTimeOut(*w);
        Control<QPushButton>(*w, "KonfigurationsVerlaufButton")->click();
        return w->findChild<TKonfigurationsVerlauf*>("KonfigurationsVerlauf");
    }
    // Chooses the rows (0 = newest) as a user's clicks would.
    static void choose(TKonfigurationsVerlauf* v, std::initializer_list<int> rows) {
        QItemSelectionModel* s = v->Versionen->selectionModel();
        s->clearSelection();
        for (int row : rows)
            s->select(v->Versionen->model()->index(row, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

} // namespace

TEST_F(KonfigurationsVerlaufFixture, ListsTheVersionsNewestFirstWithOriginAndSummary) {
    TKonfigurationsVerlauf* v = open();
    auto* button = Control<QPushButton>(*w, "KonfigurationsVerlaufButton");
    EXPECT_EQ(button->parentWidget(), Control<QWidget>(*w, "TabParametrierung"));
    EXPECT_EQ(button->text(), "Verlauf...");
    EXPECT_EQ(THilfe::ContextOf(button), 190);
    auto* hilfe = w->findChild<THilfe*>("Hilfe");
    hilfe->ShowContext(THilfe::ContextOf(button), QPoint());
    EXPECT_TRUE(hilfe->lastPopup().contains("<h3>Verlauf... (Konfigurationsverlauf)</h3>"));
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(v->windowTitle(), "Konfigurationsverlauf");

    // Local time is Berlin's (see CMakeLists.txt).
    const QStringList expected[] = {
        {"3", "07.12.2026 11:07:00", "geschrieben",
         u"Anschluß 22 (Fax): Berechtigung \"Vollamt\" → \"Keine\" und 1 weitere Änderung"_qs},
        {"2", "07.12.2026 10:07:00", "Datei Nacht.vrn", u"MSN 3: 0221 → 0222"_qs},
        {"1", "07.12.2026 10:05:30", "gelesen", "erste Version"},
    };
    ASSERT_EQ(v->Versionen->model()->rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(v->zelle(row, c), expected[row][c]) << row << "," << c;
    EXPECT_FALSE(v->Hinweis->isVisible());
}

TEST_F(KonfigurationsVerlaufFixture, ComparesTwoVersionsOrOneWithTheExchange) {
    TKonfigurationsVerlauf* v = open();
    ASSERT_NE(v, nullptr);
    // Whichever is clicked first, the older one is the starting point.
    choose(v, {0, 2});
    EXPECT_EQ(v->VergleichText->text(),
              "Von Version 1 (07.12.2026 10:05:30) zu Version 3 (07.12.2026 11:07:00):");
    EXPECT_EQ(Lines(v->Aenderungen),
              QStringList({u"MSN 3: 0221 → 0222"_qs,
                           u"Anschluß 22 (Fax): Berechtigung \"Vollamt\" → \"Keine\""_qs,
                           u"Anschluß 22 (Fax): Gebührenimpuls eingeschaltet"_qs}));

    // Nothing read yet: nothing to compare with.
    choose(v, {1});
    EXPECT_TRUE(v->VergleichText->text().endsWith(
        "zur Anlage, wie zuletzt gelesen: kein Vergleich, von der Anlage ist noch nichts "
        "vollständig gelesen"));
    EXPECT_TRUE(Lines(v->Aenderungen).isEmpty());

    // A file loaded into the pages is no news of the exchange.
    ConfigImage exchange = v3;
    exchange.SetMsnText(0, u"4711");
    exchange.SetUnitCounterValue(1, 99); // counters are no configuration
    const QString file = home.file("Anlage.vrn");
    testsupport::writeAll(file, exchange.ToByteArray());
    ASSERT_TRUE(w->LadeParameterDatei(file));
    choose(v, {2});
    EXPECT_TRUE(v->VergleichText->text().endsWith(u"noch nichts vollständig gelesen"_qs));

    // A read of it is; the file became version 4 meanwhile.
    line->answers[QByteArray::fromHex("830a0000")] =
        testsupport::TFakeLine::BlockAnswer(QByteArray::fromHex("830a0000"), exchange);
    line->answers[QByteArray::fromHex("83080000")] =
        testsupport::TFakeLine::BlockAnswer(QByteArray::fromHex("83080000"), exchange);
    line->answers[QByteArray::fromHex("83060000")] = DeviceAnswer(QByteArray(132, '\0'));
    w->LesenButtonClick();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !w->TransferAktiv(); }));
    EXPECT_EQ(v->zelle(0, 2), "Datei Anlage.vrn");
    choose(v, {2});
    EXPECT_EQ(v->VergleichText->text(),
              "Von Version 2 (07.12.2026 10:07:00) zur Anlage, wie zuletzt gelesen:");
    EXPECT_EQ(Lines(v->Aenderungen),
              QStringList({u"MSN 0: (leer) → 4711"_qs,
                           u"Anschluß 22 (Fax): Berechtigung \"Vollamt\" → \"Keine\""_qs,
                           u"Anschluß 22 (Fax): Gebührenimpuls eingeschaltet"_qs}));
}

TEST_F(KonfigurationsVerlaufFixture, RestoreLoadsTheVersionIntoThePagesReadyToWrite) {
    TKonfigurationsVerlauf* v = open();
    ASSERT_NE(v, nullptr);
    auto* schreiben = Control<QPushButton>(*w, "SchreibenButton");
    EXPECT_FALSE(schreiben->isEnabled());
    w->Sitzung().Image().SetUnitCounterValue(2, 321);

    // While a transfer runs nothing is loaded.
    w->LesenButtonClick();
    ASSERT_TRUE(w->TransferAktiv());
    choose(v, {1});
    EXPECT_FALSE(v->WiederherstellenButton->isEnabled());
    const QByteArray before = w->Sitzung().Image().ToByteArray();
    v->WiederherstellenClick();
    EXPECT_EQ(v->Meldung->text(), u"Nicht wiederhergestellt: eine Übertragung läuft"_qs);
    EXPECT_EQ(w->Sitzung().Image().ToByteArray(), before);
    EXPECT_TRUE(v->VergleichText->text().endsWith(u"kein Vergleich, eine Übertragung läuft"_qs));
    LetReadTimeOut(*w);
    EXPECT_TRUE(v->WiederherstellenButton->isEnabled());
    // The comparison follows the transfer's end.
    EXPECT_TRUE(v->VergleichText->text().endsWith(u"noch nichts vollständig gelesen"_qs));

    v->WiederherstellenButton->click();
    EXPECT_TRUE(config::CompareConfigurations(w->Sitzung().Image(), v2).empty());
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(2), 321); // the exchange's counters stay
    EXPECT_EQ(MSNTabelle(*w, 3)->text(), "0222");
    EXPECT_EQ(v->Meldung->text(), "Version 2 geladen, noch nicht in die Anlage geschrieben");
    // The write guard lets it go out as a file opened by hand.
    EXPECT_TRUE(schreiben->isEnabled());
    EXPECT_EQ(w->Sitzung().Transfer().WriteBlocker(), device::TWriteBlocker::None);
    EXPECT_TRUE(ZuordnungTabelle(*w, 2)->isEnabled());
}

TEST_F(KonfigurationsVerlaufFixture, DamageShowsItsReasonAndAnEmptyHistorySaysSo) {
    QFile index(dir + "/Index.txt");
    ASSERT_TRUE(index.open(QIODevice::Append));
    index.write("kaputt\n");
    index.close();
    config::ConfigHistory h(dir);
    h.Open();
    const QString damaged = h.FilePath(h.Versions()[1]);
    testsupport::writeAll(damaged, "0123456789");

    TKonfigurationsVerlauf* v = open();
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->Hinweis->isVisible());
    EXPECT_TRUE(v->Hinweis->text().contains(u"übersprungen: 1 statt 6 Spalten"_qs))
        << v->Hinweis->text().toStdString();
    ASSERT_EQ(v->Versionen->model()->rowCount(), 3);
    EXPECT_EQ(v->zelle(1, 3), "Version 2: Datei " + damaged + " hat 10 statt 588 Bytes");
    EXPECT_EQ(v->zelle(0, 3), "kein Vergleich: Version 2 ist nicht lesbar");

    const ConfigImage before = w->Sitzung().Image();
    choose(v, {1});
    EXPECT_FALSE(v->WiederherstellenButton->isEnabled());
    EXPECT_TRUE(v->VergleichText->text().endsWith("hat 10 statt 588 Bytes"));
    v->WiederherstellenClick();
    EXPECT_EQ(v->Meldung->text(),
              "Nicht wiederhergestellt: Version 2: Datei " + damaged + " hat 10 statt 588 Bytes");
    EXPECT_EQ(w->Sitzung().Image().ToByteArray(), before.ToByteArray());

    // Damaged while the window showed it whole: the click reads the file afresh.
    choose(v, {2});
    ASSERT_TRUE(v->WiederherstellenButton->isEnabled());
    const QString first = h.FilePath(h.Versions()[0]);
    testsupport::writeAll(first, v3.ToByteArray());
    v->WiederherstellenClick();
    EXPECT_EQ(v->Meldung->text(),
              "Nicht wiederhergestellt: Version 1: Datei " + first + " ist beschädigt");
    EXPECT_EQ(w->Sitzung().Image().ToByteArray(), before.ToByteArray());
    EXPECT_FALSE(v->WiederherstellenButton->isEnabled());

    // An empty history: no rows, and a word why.
    w.reset();
    dir = home.file("Leer");
    v = open();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->Versionen->model()->rowCount(), 0);
    EXPECT_EQ(v->Hinweis->text(), "Konfigurationsverlauf " + dir + " ist leer");
    EXPECT_FALSE(v->WiederherstellenButton->isEnabled());
}
