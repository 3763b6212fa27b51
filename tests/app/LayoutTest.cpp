#include "support/WindowFixture.h"

#include "app/BezeichnungLabel.h"
#include "app/Glyphs.h"
#include "app/Hilfe.h"
#include "app/MatrixBild.h"
#include "app/StatusZeile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QToolTip>

TEST_F(WindowFixture, FixedWindowAndTheRowBelowThePages) {
    auto w = make();
    EXPECT_EQ(w->windowTitle(), "Varno KM20/KM50 - Konfiguration");
    EXPECT_EQ(w->minimumSize(), QSize(519, 295));
    EXPECT_EQ(w->maximumSize(), QSize(519, 295));
    EXPECT_TRUE(w->windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->geometry(), QRect(6, 6, 507, 235));
    auto* status = find<TStatusZeile>(*w, "StatusZeile");
    EXPECT_EQ(status->height(), 19);
    EXPECT_EQ(status->geometry().bottom(), 294);
    EXPECT_EQ(status->panelRect(0).width() + 2, 430);
    int lastRight = Control<QCheckBox>(*w, "ZyklischNeuLesen")->geometry().right();
    for (QPushButton* b :
         {Control<QPushButton>(*w, "LesenButton"), Control<QPushButton>(*w, "HilfeButton"),
          Control<QPushButton>(*w, "BeendenButton")}) {
        EXPECT_EQ(b->size(), QSize(85, 25)) << b->objectName().toStdString();
        EXPECT_GT(b->x(), lastRight);
        EXPECT_GE(b->y(), Control<QTabWidget>(*w, "MainPageControl")->geometry().bottom());
        EXPECT_LT(b->geometry().bottom(), status->y());
        lastRight = b->geometry().right();
    }
    EXPECT_LE(lastRight, 518);
}

TEST_F(WindowFixture, PagesInTabOrderWithTheirCaptions) {
    auto w = make();
    const QStringList names{"TabKonfiguration", "TabZuordnung",      "TabBerechtigungen",
                            "TabGebuehren",     "TabParametrierung", "TabProgrammInfo"};
    const QStringList captions{"Konfiguration",  "Zuordnung",
                               "Berechtigungen", QString::fromUtf8("Gebühren"),
                               "Parametrierung", "Programm-Info"};
    ASSERT_EQ(Control<QTabWidget>(*w, "MainPageControl")->count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->widget(i)->objectName(), names[i]);
        EXPECT_EQ(Control<QTabWidget>(*w, "MainPageControl")->tabText(i), captions[i]);
    }
    const QStringList inner{"MSN-Parametrierung", QString::fromUtf8("Anschluß-Parametrierung"),
                            "Zeitsteuerung"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Control<QTabWidget>(*w, "ParametrierungPageControl")->tabText(i), inner[i]);
    EXPECT_EQ(Control<QTabWidget>(*w, "ParametrierungPageControl")->size(), QSize(403, 207));
    EXPECT_EQ(Control<QTabWidget>(*w, "ParametrierungPageControl")->currentWidget(),
              Control<QWidget>(*w, "MSNParametrierung"));
    // Every tab shows its whole caption.
    auto* bar = Control<QTabWidget>(*w, "MainPageControl")->tabBar();
    EXPECT_LE(bar->tabRect(5).right(), Control<QTabWidget>(*w, "MainPageControl")->width());
}

TEST_F(WindowFixture, ControlsOfTheTablesAreNamedOnceAndLieOnTheirPages) {
    auto w = make();
    auto* konfiguration = Control<QWidget>(*w, "TabKonfiguration");
    auto* zuordnung = Control<QWidget>(*w, "TabZuordnung");
    auto* berechtigungen = Control<QWidget>(*w, "TabBerechtigungen");
    auto* gebuehren = Control<QWidget>(*w, "TabGebuehren");
    auto* msnSeite = Control<QWidget>(*w, "MSNParametrierung");
    // The helpers find each control by its name and fail unless it is there just once.
    for (int m = 0; m < 10; ++m)
        EXPECT_TRUE(konfiguration->isAncestorOf(MSNTabelle(*w, m)));
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(zuordnung->isAncestorOf(BezeichnungTabelleA(*w, i)));
        EXPECT_TRUE(berechtigungen->isAncestorOf(BezeichnungTabelleB(*w, i)));
        EXPECT_TRUE(gebuehren->isAncestorOf(BezeichnungTabelleC(*w, i)));
        EXPECT_TRUE(berechtigungen->isAncestorOf(BerechtigungTabelle(*w, i)));
        EXPECT_TRUE(berechtigungen->isAncestorOf(DienstTabelle(*w, i)));
        EXPECT_TRUE(gebuehren->isAncestorOf(KostenTabelle(*w, i)));
        EXPECT_TRUE(gebuehren->isAncestorOf(DiffTabelle(*w, i)));
        EXPECT_TRUE(gebuehren->isAncestorOf(EinheitenTabelle(*w, i)));
        EXPECT_TRUE(zuordnung->isAncestorOf(RufumleitungTabelle(*w, i)));
        EXPECT_TRUE(msnSeite->isAncestorOf(ZuordnungTabelle(*w, i)));
        EXPECT_TRUE(berechtigungen->isAncestorOf(ImpulsTabelle(*w, i)));
        EXPECT_TRUE(berechtigungen->isAncestorOf(AmtsholungTabelle(*w, i)));
        for (int m = 0; m < 10; ++m)
            EXPECT_TRUE(zuordnung->isAncestorOf(MSNMatrixTabelle(*w, i, m)));
        // Grid spacing: rows 18 apart, matrix columns 21 apart, zuordnung boxes 25 apart.
        if (i > 0) {
            EXPECT_EQ(MSNMatrixTabelle(*w, i, 0)->y() - MSNMatrixTabelle(*w, i - 1, 0)->y(), 18);
            EXPECT_EQ(EinheitenTabelle(*w, i)->y() - EinheitenTabelle(*w, i - 1)->y(), 18);
            EXPECT_EQ(ImpulsTabelle(*w, i)->y() - ImpulsTabelle(*w, i - 1)->y(), 18);
            EXPECT_EQ(ZuordnungTabelle(*w, i)->x() - ZuordnungTabelle(*w, i - 1)->x(), 25);
        }
    }
    for (int m = 1; m < 10; ++m)
        EXPECT_EQ(MSNMatrixTabelle(*w, 0, m)->x() - MSNMatrixTabelle(*w, 0, m - 1)->x(), 21);
    EXPECT_EQ(find<QLabel>(*w, "MSNMatrix210"), nullptr) << "matrix cells are images";
    EXPECT_NE(find<TMatrixBild>(*w, "MSNMatrix289"), nullptr);
    EXPECT_EQ(find<QLabel>(*w, "Einheiten23")->alignment() & Qt::AlignRight, Qt::AlignRight);
}

TEST_F(WindowFixture, EveryMatrixImageDrawsOnItsOwnCopyOfTheTemplate) {
    auto w = make();
    const QImage vorlage = app::MakeMatrixTemplate();
    std::vector<TMatrixBild*> all;
    for (int i = 0; i < 8; ++i) {
        for (int m = 0; m < 10; ++m)
            all.push_back(MSNMatrixTabelle(*w, i, m));
        all.push_back(ImpulsTabelle(*w, i));
        all.push_back(AmtsholungTabelle(*w, i));
    }
    ASSERT_EQ(all.size(), 96u);
    for (TMatrixBild* b : all) {
        EXPECT_EQ(b->size(), QSize(16, 16));
        EXPECT_EQ(b->picture(), vorlage) << b->objectName().toStdString();
    }
    MSNMatrixTabelle(*w, 2, 3)->canvas().setPixel(8, 8, qRgb(255, 0, 0));
    EXPECT_EQ(MSNMatrixTabelle(*w, 2, 3)->picture().pixel(8, 8), qRgb(255, 0, 0));
    for (TMatrixBild* b : all) {
        if (b != MSNMatrixTabelle(*w, 2, 3)) {
            EXPECT_EQ(b->picture().pixel(8, 8), qRgb(255, 255, 255));
        }
    }
    EXPECT_EQ(app::MakeMatrixTemplate().pixel(8, 8), qRgb(255, 255, 255));
}

TEST(MatrixTemplate, SunkenBoxPixels) {
    const QImage t = app::MakeMatrixTemplate();
    ASSERT_EQ(t.size(), QSize(18, 18));
    struct Px {
        int x, y;
        QRgb c;
    };
    const QRgb grey = qRgb(192, 192, 192), dark = qRgb(128, 128, 128), white = qRgb(255, 255, 255),
               black = qRgb(0, 0, 0), light = qRgb(224, 224, 224);
    const Px expected[] = {
        {0, 0, grey},    {2, 2, grey},    {3, 1, grey},      {16, 2, grey},   {3, 15, grey},
        {3, 2, dark},    {14, 2, dark},   {3, 14 - 1, dark}, {15, 2, white},  {3, 14, white},
        {15, 14, white}, {9, 14, white},  {15, 8, white},    {4, 3, black},   {13, 3, black},
        {4, 12, black},  {14, 3, light},  {4, 13, light},    {14, 13, light}, {9, 13, light},
        {5, 4, white},   {13, 12, white}, {17, 17, grey},
    };
    for (const Px& p : expected)
        EXPECT_EQ(t.pixel(p.x, p.y), p.c) << p.x << "," << p.y;
    int whites = 0;
    for (int y = 4; y <= 12; ++y)
        for (int x = 5; x <= 13; ++x)
            whites += t.pixel(x, y) == white;
    EXPECT_EQ(whites, 81);
}

TEST_F(WindowFixture, HelpContextNumbers) {
    auto w = make();
    const std::pair<const char*, int> expected[] = {
        {"BeendenButton", 100},
        {"HilfeButton", 101},
        {"LesenButton", 102},
        {"OeffnenButton", 103},
        {"SpeichernButton", 104},
        {"SchreibenButton", 105},
        {"ZyklischNeuLesen", 106},
        {"MSNAuswahl", 107},
        {"TelefonNummer", 108},
        {"Zuordnung21", 109},
        {"Zuordnung28", 109},
        {"abAuswahl", 110},
        {"GebuehrenImpuls", 111},
        {"SpontaneAmtsholung", 112},
        {"BerechtigungsAuswahl", 113},
        {"DienstAuswahl", 114},
        {"GebuehrenEinheiten", 115},
        {"EditUhrzeit1", 116},
        {"EditUhrzeit4", 116},
        {"EditDateiname2", 117},
        {"EditTage1", 175},
        {"ButtonJetztSchreiben4", 176},
        {"ButtonDurchsuchen3", 118},
        {"DruckenButton", 119},
        {"Kosten21", 0},
        {"MainPageControl", 0},
    };
    for (const auto& [name, context] : expected) {
        auto* widget = find<QWidget>(*w, name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(THilfe::ContextOf(widget), context) << name;
    }
    EXPECT_EQ(THilfe::ContextOf(Control<QPushButton>(*w, "VerlaufButton")), 120);
    EXPECT_EQ(find<QPushButton>(*w, "ButtonDurchsuchen1")->toolTip(), " Parameterdatei \n suchen ");
    EXPECT_EQ(Control<QComboBox>(*w, "MSNAuswahl")->count(), 10);
    EXPECT_EQ(Control<QComboBox>(*w, "MSNAuswahl")->itemText(9), "MSN 9");
    EXPECT_EQ(Control<QComboBox>(*w, "abAuswahl")->itemText(7), QString::fromUtf8("Anschluß 28"));
    EXPECT_EQ(Control<QComboBox>(*w, "BerechtigungsAuswahl")->itemText(2),
              QString::fromUtf8("Ortsgespräch"));
    EXPECT_EQ(Control<QComboBox>(*w, "DienstAuswahl")->count(), 6);
}

TEST(ButtonGlyphs, DisabledLookIsGreyEmbossed) {
    for (auto g : {app::Glyph::Lesen, app::Glyph::Hilfe, app::Glyph::Beenden, app::Glyph::Oeffnen,
                   app::Glyph::Speichern, app::Glyph::Schreiben, app::Glyph::Drucken}) {
        const QIcon icon = app::ButtonGlyph(g);
        EXPECT_EQ(icon.availableSizes(QIcon::Normal), QList<QSize>({{16, 16}, {32, 32}}));
        EXPECT_EQ(icon.availableSizes(QIcon::Disabled), QList<QSize>({{16, 16}, {32, 32}}));
        const QImage img = app::GlyphImage(g);
        ASSERT_EQ(img.size(), QSize(16, 16));
        const QImage off = app::DisabledLook(img);
        int painted = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QRgb c = off.pixel(x, y);
                if (qAlpha(c) == 0)
                    continue;
                ++painted;
                EXPECT_TRUE(c == qRgb(128, 128, 128) || c == qRgb(255, 255, 255));
            }
        EXPECT_GT(painted, 10);
    }
    EXPECT_EQ(app::ProgramIconImage(16).size(), QSize(16, 16));
    EXPECT_EQ(app::ProgramIconImage(32).size(), QSize(32, 32));
    EXPECT_EQ(app::ProgramIcon().availableSizes(), QList<QSize>({{16, 16}, {32, 32}, {64, 64}}));
}

TEST_F(WindowFixture, LongPortNamesEndInAnEllipsisAndShowWholeAsToolTip) {
    const QString lang = QString::fromUtf8("Besprechungsraum im zweiten Stock, links");
    settings("[Allgemein]\nAnschluß=COM2\n[Bezeichnungen]\n21=" + lang.toUtf8() + "\n22=Fax\n");
    auto w = make();
    w->show();
    for (QLabel* l : {BezeichnungTabelleA(*w, 0), BezeichnungTabelleB(*w, 0)}) {
        auto* label = qobject_cast<TBezeichnungLabel*>(l);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), lang) << "the name itself stays whole";
        const QString shown = label->shownText();
        EXPECT_LT(shown.size(), lang.size());
        EXPECT_TRUE(lang.startsWith(shown.chopped(1)));
        EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
        QHelpEvent tip(QEvent::ToolTip, QPoint(4, 4), label->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(label, &tip);
        EXPECT_EQ(QToolTip::text(), lang);
        QToolTip::hideText();
    }
    ASSERT_TRUE(testsupport::WaitUntil([] { return !QToolTip::isVisible(); }));
    auto* kurz = qobject_cast<TBezeichnungLabel*>(BezeichnungTabelleC(*w, 1));
    EXPECT_EQ(kurz->shownText(), "Fax");
    QHelpEvent tip(QEvent::ToolTip, QPoint(4, 4), kurz->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(kurz, &tip);
    EXPECT_FALSE(QToolTip::isVisible()) << "a name shown whole needs no tool tip";
}
