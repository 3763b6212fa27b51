// Controls of the main window at fixed positions, page by page, and the
// control tables over them.
#include "app/BezeichnungLabel.h"
#include "app/Glyphs.h"
#include "app/HauptFormular.h"
#include "app/Hilfe.h"
#include "app/MatrixBild.h"
#include "app/StatusZeile.h"
#include "app/ZeitEdit.h"
#include "catalogue/Catalogue.h"
#include "serial/Comm32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace {

// `count` consecutive catalogue texts from `first` on.
QStringList CatalogueRange(int first, int count) {
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << catalogue::Text(first + i);
    return texts;
}

constexpr int kRowStep = 18;    // rows of the port grids
constexpr int kMatrixStep = 21; // columns of the MSN matrix
constexpr int kLabelHeight = 14;

QString Port(int i) {
    return QString::number(startup::kFirstPort + i);
}

QLabel* Setup(QLabel* l, const QString& name, const QString& text, QRect geometry, bool bold,
              Qt::Alignment align) {
    l->setText(text);
    l->setObjectName(name);
    l->setGeometry(geometry);
    l->setAlignment(align | Qt::AlignVCenter);
    l->setTextFormat(Qt::PlainText);
    if (bold) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

QLabel* Label(QWidget* parent, const QString& name, const QString& text, QRect geometry,
              bool bold = false, Qt::Alignment align = Qt::AlignLeft) {
    return Setup(new QLabel(parent), name, text, geometry, bold, align);
}

QLabel* Bold(QWidget* parent, const QString& name, const QString& text, int x, int y, int w) {
    return Label(parent, name, text, QRect(x, y, w, kLabelHeight), true);
}

// A value label: no design caption, filled later.
QLabel* Value(QWidget* parent, const QString& name, int x, int y, int w,
              Qt::Alignment align = Qt::AlignLeft) {
    return Label(parent, name, QString(), QRect(x, y, w, kLabelHeight), false, align);
}

// A port's name from the settings file: a long one ends in "…" and shows whole as a tool tip.
QLabel* Bezeichnung(QWidget* parent, const QString& name, int x, int y, int w) {
    return Setup(new TBezeichnungLabel(parent), name, QString(), QRect(x, y, w, kLabelHeight),
                 false, Qt::AlignLeft);
}

QFrame* Frame(QWidget* parent, const QString& name, QRect geometry) {
    auto* f = new QFrame(parent);
    f->setObjectName(name);
    f->setFrameShape(QFrame::Box);
    f->setFrameShadow(QFrame::Sunken);
    f->setGeometry(geometry);
    f->lower();
    return f;
}

// Name, place and help context: what every input control gets.
template <class W> W* Placed(W* w, const QString& name, QRect geometry, int context) {
    w->setObjectName(name);
    w->setGeometry(geometry);
    THilfe::SetContext(w, context);
    return w;
}

QPushButton* GlyphButton(QWidget* parent, const QString& name, const QString& caption,
                         app::Glyph glyph, QRect geometry, int context) {
    auto* b = new QPushButton(app::ButtonGlyph(glyph), caption, parent);
    b->setIconSize(QSize(16, 16));
    b->setAutoDefault(false);
    return Placed(b, name, geometry, context);
}

QCheckBox* Box(QWidget* parent, const QString& name, QRect geometry, int context) {
    return Placed(new QCheckBox(parent), name, geometry, context);
}

QComboBox* DropDown(QWidget* parent, const QString& name, const QStringList& items, int rows,
                    QRect geometry, int context) {
    auto* c = new QComboBox(parent);
    c->addItems(items);
    c->setMaxVisibleItems(rows);
    return Placed(c, name, geometry, context);
}

QLineEdit* Edit(QWidget* parent, const QString& name, QRect geometry, int context) {
    return Placed(new QLineEdit(parent), name, geometry, context);
}

TMatrixBild* Bild(QWidget* parent, const QString& name, int x, int y) {
    auto* b = new TMatrixBild(parent);
    b->setObjectName(name);
    b->setGeometry(x, y, 16, 16);
    return b;
}

QWidget* Page(QTabWidget* tabs, const QString& name, const QString& caption) {
    auto* page = new QWidget();
    page->setObjectName(name);
    tabs->addTab(page, caption);
    return page;
}

} // namespace

void THauptFenster::BaueFenster() {
    setObjectName(QStringLiteral("HauptFenster"));
    setWindowTitle(QStringLiteral("Varno KM20/KM50 - Konfiguration"));
    setWindowIcon(app::ProgramIcon());
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowContextHelpButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(519, 295);

    MainPageControl = new QTabWidget(this);
    MainPageControl->setObjectName(QStringLiteral("MainPageControl"));
    MainPageControl->setGeometry(6, 6, 507, 235);
    MainPageControl->setUsesScrollButtons(false);
    TabKonfiguration =
        Page(MainPageControl, QStringLiteral("TabKonfiguration"), QStringLiteral("Konfiguration"));
    TabZuordnung =
        Page(MainPageControl, QStringLiteral("TabZuordnung"), QStringLiteral("Zuordnung"));
    TabBerechtigungen = Page(MainPageControl, QStringLiteral("TabBerechtigungen"),
                             QStringLiteral("Berechtigungen"));
    TabGebuehren =
        Page(MainPageControl, QStringLiteral("TabGebuehren"), QStringLiteral("Gebühren"));
    TabParametrierung = Page(MainPageControl, QStringLiteral("TabParametrierung"),
                             QStringLiteral("Parametrierung"));
    TabProgrammInfo =
        Page(MainPageControl, QStringLiteral("TabProgrammInfo"), QStringLiteral("Programm-Info"));
    BaueKonfiguration(TabKonfiguration);
    BaueZuordnung(TabZuordnung);
    BaueBerechtigungen(TabBerechtigungen);
    BaueGebuehren(TabGebuehren);
    BaueParametrierung(TabParametrierung);
    BaueProgrammInfo(TabProgrammInfo);
    MainPageControl->setCurrentWidget(TabZuordnung);

    ZyklischNeuLesen = Box(this, QStringLiteral("ZyklischNeuLesen"), QRect(8, 250, 230, 17), 106);
    ZyklischNeuLesen->setText(QStringLiteral("ZyklischNeuLesen"));
    LesenButton = GlyphButton(this, QStringLiteral("LesenButton"), QStringLiteral("Lesen"),
                              app::Glyph::Lesen, QRect(246, 246, 85, 25), 102);
    HilfeButton = GlyphButton(this, QStringLiteral("HilfeButton"), QStringLiteral("Hilfe"),
                              app::Glyph::Hilfe, QRect(337, 246, 85, 25), 101);
    BeendenButton = GlyphButton(this, QStringLiteral("BeendenButton"), QStringLiteral("Beenden"),
                                app::Glyph::Beenden, QRect(428, 246, 85, 25), 100);

    StatusZeile = new TStatusZeile(this);
    StatusZeile->setObjectName(QStringLiteral("StatusZeile"));
    StatusZeile->setGeometry(0, 276, 519, 19);
    StatusZeile->addPanel({430, QStringLiteral("Meldetext"), Qt::AlignLeft, true});
    StatusZeile->addPanel({50, QStringLiteral("Uhrzeit"), Qt::AlignHCenter, false});
    StatusZeile->setDrawHandler(
        [this](QPainter& p, int panel, const QRect& r) { OnStatusPanelDraw(p, panel, r); });

    SekundenTimer = new QTimer(this);
    SekundenTimer->setObjectName(QStringLiteral("SekundenTimer"));
    SekundenTimer->setInterval(1000);
    connect(SekundenTimer, &QTimer::timeout, this, &THauptFenster::OnSekunde);
    SekundenTimer->start();

    BaueDesktop();

    Communication = new TComm32(this);
    Communication->setObjectName(QStringLiteral("Communication"));

    connect(LesenButton, &QPushButton::clicked, this, &THauptFenster::LesenButtonClick);
    connect(HilfeButton, &QPushButton::clicked, this, &THauptFenster::HilfeButtonClick);
    connect(BeendenButton, &QPushButton::clicked, this, &THauptFenster::BeendenButtonClick);
    connect(OeffnenButton, &QPushButton::clicked, this, &THauptFenster::OeffnenClick);
    connect(SpeichernButton, &QPushButton::clicked, this, &THauptFenster::SpeichernClick);
    connect(SchreibenButton, &QPushButton::clicked, this, &THauptFenster::OnSchreibenClick);
    connect(DruckenButton, &QPushButton::clicked, this, &THauptFenster::DruckenButtonClick);
    connect(EinstellungenButton, &QPushButton::clicked, this, &THauptFenster::EinstellungenClick);
    connect(StatusZeile, &TStatusZeile::panelClicked, this, &THauptFenster::StatusZeileClick);
    VerbindeParametrierung();
}

void THauptFenster::BaueKonfiguration(QWidget* page) {
    struct Row {
        const char *caption, *captionName, *valueName;
        QLabel** value;
    };
    const Row rows[] = {
        {"Protokoll", "TextProtokoll", "Protokoll", &Protokoll},
        {"Anschlußart", "TextAnschlussArt", "Anschlussart", &Anschlussart},
        {"Externe S0-Anschlüsse", "TextS0Extern", "S0Extern", &S0Extern},
        {"Interne S0-Anschlüsse", "TextS0Intern", "S0Intern", &S0Intern},
        {"a/b-Schnittstellen", "TextabSchnittStellen", "abSchnittstellen", &abSchnittstellen},
        {"Firmware-Version", "TextFirmware", "Firmware", &Firmware},
        {"Music on Hold", "TextMusicOnHold", "MusicOnHold", &MusicOnHold},
    };
    int y = 14;
    for (const Row& r : rows) {
        Bold(page, QString::fromUtf8(r.captionName), QString::fromUtf8(r.caption), 12, y, 140);
        *r.value = Value(page, QString::fromUtf8(r.valueName), 156, y, 120);
        y += 22;
    }
    for (int m = 0; m < kMsns; ++m) {
        const int my = 14 + m * 18;
        Bold(page, QStringLiteral("TextMSN%1").arg(m), QStringLiteral("MSN %1").arg(m), 296, my,
             50);
        MSNTabelle[m] = Value(page, QStringLiteral("MSN%1").arg(m), 352, my, 140);
    }
}

void THauptFenster::BaueZuordnung(QWidget* page) {
    constexpr int top = 36, matrixX = 204, header = 18;
    Bold(page, QStringLiteral("TextAnschlussa"), QStringLiteral("Anschluß"), 8, header, 54);
    Bold(page, QStringLiteral("TextBezeichnunga"), QStringLiteral("Bezeichnung"), 64, header, 130);
    Bold(page, QStringLiteral("TextMSNa"), QStringLiteral("MSN"), matrixX, 2, 60);
    for (int m = 0; m < kMsns; ++m)
        Label(page, QStringLiteral("Text%1").arg(m), QString::number(m),
              QRect(matrixX + m * kMatrixStep, header, 16, kLabelHeight), true, Qt::AlignHCenter);
    Label(page, QStringLiteral("Label1"), QStringLiteral("Rufumleitung"),
          QRect(416, header, 80, kLabelHeight), true, Qt::AlignRight);
    for (int i = 0; i < kPorts; ++i) {
        const int y = top + i * kRowStep;
        Label(page, QStringLiteral("Text%1a").arg(Port(i)), Port(i), QRect(8, y, 30, kLabelHeight));
        BezeichnungTabelleA[i] =
            Bezeichnung(page, QStringLiteral("Bezeichnung%1a").arg(Port(i)), 64, y, 134);
        for (int m = 0; m < kMsns; ++m)
            MSNMatrixTabelle[i][m] = Bild(page, QStringLiteral("MSNMatrix%1%2").arg(Port(i)).arg(m),
                                          matrixX + m * kMatrixStep, y - 1);
        RufumleitungTabelle[i] =
            Value(page, QStringLiteral("Rufumleitung%1").arg(Port(i)), 416, y, 80, Qt::AlignRight);
    }
}

void THauptFenster::BaueBerechtigungen(QWidget* page) {
    constexpr int top = 36, header = 18;
    Bold(page, QStringLiteral("TextAnschlussb"), QStringLiteral("Anschluß"), 8, header, 54);
    Bold(page, QStringLiteral("TextBezeichnungb"), QStringLiteral("Bezeichnung"), 64, header, 120);
    Bold(page, QStringLiteral("TextBerechtigung"), QStringLiteral("Berechtigung"), 188, header, 84);
    Bold(page, QStringLiteral("TextDienst"), QStringLiteral("Dienst"), 276, header, 100);
    Bold(page, QStringLiteral("TextImpuls"), QStringLiteral("Impuls"), 378, header, 46);
    Bold(page, QStringLiteral("TextSpontane"), QStringLiteral("Spontane"), 428, 4, 72);
    Bold(page, QStringLiteral("TextAmtsholung"), QStringLiteral("Amtsholung"), 428, header, 72);
    for (int i = 0; i < kPorts; ++i) {
        const int y = top + i * kRowStep;
        Label(page, QStringLiteral("Text%1b").arg(Port(i)), Port(i), QRect(8, y, 30, kLabelHeight));
        BezeichnungTabelleB[i] =
            Bezeichnung(page, QStringLiteral("Bezeichnung%1b").arg(Port(i)), 64, y, 120);
        BerechtigungTabelle[i] =
            Value(page, QStringLiteral("Berechtigung%1").arg(Port(i)), 188, y, 84);
        DienstTabelle[i] = Value(page, QStringLiteral("Dienst%1").arg(Port(i)), 276, y, 100);
        ImpulsTabelle[i] = Bild(page, QStringLiteral("ImpulsMatrix%1").arg(Port(i)), 390, y - 1);
        AmtsholungTabelle[i] = Bild(page, QStringLiteral("Amtsholung%1").arg(Port(i)), 454, y - 1);
    }
}

void THauptFenster::BaueGebuehren(QWidget* page) {
    constexpr int top = 28, header = 8;
    Bold(page, QStringLiteral("TextAnschlussc"), QStringLiteral("Anschluß"), 8, header, 54);
    Bold(page, QStringLiteral("TextBezeichnungc"), QStringLiteral("Bezeichnung"), 64, header, 160);
    Label(page, QStringLiteral("TextEinheiten"), QStringLiteral("Einheiten"),
          QRect(232, header, 70, kLabelHeight), true, Qt::AlignRight);
    Label(page, QStringLiteral("TextKosten"), QStringLiteral("Kosten"),
          QRect(390, header, 90, kLabelHeight), true, Qt::AlignRight);
    for (int i = 0; i < kPorts; ++i) {
        const int y = top + i * kRowStep;
        Label(page, QStringLiteral("Text%1c").arg(Port(i)), Port(i), QRect(8, y, 30, kLabelHeight));
        BezeichnungTabelleC[i] =
            Bezeichnung(page, QStringLiteral("Bezeichnung%1c").arg(Port(i)), 64, y, 164);
        EinheitenTabelle[i] =
            Value(page, QStringLiteral("Einheiten%1").arg(Port(i)), 232, y, 70, Qt::AlignRight);
        DiffTabelle[i] = Value(page, QStringLiteral("Diff%1").arg(Port(i)), 304, y, 70);
        KostenTabelle[i] =
            Value(page, QStringLiteral("Kosten%1").arg(Port(i)), 390, y, 90, Qt::AlignRight);
    }
    const int sumY = top + kPorts * kRowStep + 6;
    auto* bevel = Frame(page, QStringLiteral("RahmenGebuehrenSumme"), QRect(4, sumY - 4, 488, 22));
    bevel->setFrameShape(QFrame::Panel);
    Bold(page, QStringLiteral("TextSumme"), QStringLiteral("Summe"), 8, sumY, 54);
    EinheitenSumme = Value(page, QStringLiteral("EinheitenSumme"), 232, sumY, 70, Qt::AlignRight);
    DiffSumme = Value(page, QStringLiteral("DiffSumme"), 304, sumY, 70);
    KostenSumme = Value(page, QStringLiteral("KostenSumme"), 390, sumY, 90, Qt::AlignRight);
    // In the header row's free cell above the increases.
    VerlaufButton = Placed(new QPushButton(QStringLiteral("Verlauf..."), page),
                           QStringLiteral("VerlaufButton"), QRect(306, 4, 80, 21), 120);
    VerlaufButton->setAutoDefault(false);
    connect(VerlaufButton, &QPushButton::clicked, this, &THauptFenster::VerlaufButtonClick);
}

void THauptFenster::BaueParametrierung(QWidget* page) {
    ParametrierungPageControl = new QTabWidget(page);
    ParametrierungPageControl->setObjectName(QStringLiteral("ParametrierungPageControl"));
    ParametrierungPageControl->setGeometry(2, 2, 403, 207);
    MSNParametrierung = Page(ParametrierungPageControl, QStringLiteral("MSNParametrierung"),
                             QStringLiteral("MSN-Parametrierung"));
    abParametrierung = Page(ParametrierungPageControl, QStringLiteral("abParametrierung"),
                            QStringLiteral("Anschluß-Parametrierung"));
    ZeitParametrierung = Page(ParametrierungPageControl, QStringLiteral("ZeitParametrierung"),
                              QStringLiteral("Zeitsteuerung"));
    BaueMsnParametrierung(MSNParametrierung);
    BaueAbParametrierung(abParametrierung);
    BaueZeitParametrierung(ZeitParametrierung);
    ParametrierungPageControl->setCurrentWidget(MSNParametrierung);

    constexpr int x = 412;
    OeffnenButton = GlyphButton(page, QStringLiteral("OeffnenButton"), QStringLiteral("Öffnen..."),
                                app::Glyph::Oeffnen, QRect(x, 24, 85, 25), 103);
    SpeichernButton =
        GlyphButton(page, QStringLiteral("SpeichernButton"), QStringLiteral("Speichern..."),
                    app::Glyph::Speichern, QRect(x, 54, 85, 25), 104);
    SchreibenButton =
        GlyphButton(page, QStringLiteral("SchreibenButton"), QStringLiteral("Schreiben"),
                    app::Glyph::Schreiben, QRect(x, 106, 85, 25), 105);
    DruckenButton = GlyphButton(page, QStringLiteral("DruckenButton"), QStringLiteral("Drucken"),
                                app::Glyph::Drucken, QRect(x, 136, 85, 25), 119);
    KonfigurationsVerlaufButton =
        GlyphButton(page, QStringLiteral("KonfigurationsVerlaufButton"),
                    QStringLiteral("Verlauf..."), app::Glyph::Verlauf, QRect(x, 166, 85, 25), 190);
    KonfigurationsVerlaufButton->setToolTip(QStringLiteral("Konfigurationsverlauf"));
    connect(KonfigurationsVerlaufButton, &QPushButton::clicked, this,
            &THauptFenster::KonfigurationsVerlaufClick);
}

void THauptFenster::BaueMsnParametrierung(QWidget* page) {
    Frame(page, QStringLiteral("RahmenMSN"), QRect(6, 6, 385, 38));
    Bold(page, QStringLiteral("TextMSN"), QStringLiteral("MSN"), 16, 18, 90);
    QStringList msns;
    for (int m = 0; m < kMsns; ++m)
        msns << QStringLiteral("MSN %1").arg(m);
    MSNAuswahl =
        DropDown(page, QStringLiteral("MSNAuswahl"), msns, 10, QRect(120, 14, 110, 21), 107);

    Frame(page, QStringLiteral("RahmenMSNWerte"), QRect(6, 50, 385, 126));
    Bold(page, QStringLiteral("TextTelefonnummer"), QStringLiteral("Telefonnummer"), 16, 66, 100);
    TelefonNummer = Edit(page, QStringLiteral("TelefonNummer"), QRect(120, 62, 150, 21), 108);
    Bold(page, QStringLiteral("TextZuordnung"), QStringLiteral("Zuordnung"), 16, 118, 100);
    for (int i = 0; i < kPorts; ++i) {
        const int x = 120 + i * 25;
        Label(page, QStringLiteral("Text%1").arg(Port(i)), Port(i), QRect(x, 100, 20, kLabelHeight),
              true);
        ZuordnungTabelle[i] =
            Box(page, QStringLiteral("Zuordnung%1").arg(Port(i)), QRect(x + 2, 118, 16, 16), 109);
    }
}

void THauptFenster::BaueAbParametrierung(QWidget* page) {
    Frame(page, QStringLiteral("Rahmenab"), QRect(6, 6, 385, 38));
    Bold(page, QStringLiteral("TextSchnittstelle"), QStringLiteral("Schnittstelle"), 16, 18, 100);
    QStringList ports;
    for (int i = 0; i < kPorts; ++i)
        ports << QStringLiteral("Anschluß %1").arg(Port(i));
    abAuswahl = DropDown(page, QStringLiteral("abAuswahl"), ports, 8, QRect(160, 14, 130, 21), 110);

    Frame(page, QStringLiteral("RahmenabWerte"), QRect(6, 50, 385, 126));
    constexpr int cx = 16, vx = 160;
    Bold(page, QStringLiteral("TextGebuehrenImpuls"), QStringLiteral("Gebührenimpuls"), cx, 60,
         140);
    GebuehrenImpuls = Box(page, QStringLiteral("GebuehrenImpuls"), QRect(vx, 59, 16, 16), 111);
    Bold(page, QStringLiteral("TextSpontaneAmtsholung"), QStringLiteral("Spontane Amtsholung"), cx,
         81, 140);
    SpontaneAmtsholung =
        Box(page, QStringLiteral("SpontaneAmtsholung"), QRect(vx, 80, 16, 16), 112);
    Bold(page, QStringLiteral("TextBerechtigungsAuswahl"), QStringLiteral("Berechtigung"), cx, 104,
         140);
    BerechtigungsAuswahl =
        DropDown(page, QStringLiteral("BerechtigungsAuswahl"),
                 CatalogueRange(meldung::BerechtigungErste, 5), 5, QRect(vx, 100, 150, 21), 113);
    Bold(page, QStringLiteral("TextDienstAuswahl"), QStringLiteral("Dienst"), cx, 128, 140);
    DienstAuswahl =
        DropDown(page, QStringLiteral("DienstAuswahl"), CatalogueRange(meldung::DienstErster, 6), 6,
                 QRect(vx, 124, 150, 21), 114);
    Bold(page, QStringLiteral("TextGebuehrenEinheiten"), QStringLiteral("Gebühreneinheiten"), cx,
         152, 140);
    GebuehrenEinheiten =
        Edit(page, QStringLiteral("GebuehrenEinheiten"), QRect(vx, 148, 70, 21), 115);
}

void THauptFenster::BaueZeitParametrierung(QWidget* page) {
    Bold(page, QStringLiteral("LabelUhrzeit"), QStringLiteral("Uhrzeit"), 10, 12, 50);
    Bold(page, QStringLiteral("LabelDateiname"), QStringLiteral("Dateiname"), 64, 12, 100);
    Bold(page, QStringLiteral("LabelTage"), QStringLiteral("Tage"), 297, 12, 60);
    for (int n = 0; n < 4; ++n) {
        const int y = 32 + n * 30;
        EditUhrzeit[n] = Placed(new TZeitEdit(page), QStringLiteral("EditUhrzeit%1").arg(n + 1),
                                QRect(10, y, 49, 21), 116);
        EditDateiname[n] =
            Edit(page, QStringLiteral("EditDateiname%1").arg(n + 1), QRect(62, y, 200, 21), 117);
        auto* b = new QPushButton(QStringLiteral("..."), page);
        b->setAutoDefault(false);
        b->setToolTip(QStringLiteral(" Parameterdatei \n suchen "));
        ButtonDurchsuchen[n] =
            Placed(b, QStringLiteral("ButtonDurchsuchen%1").arg(n + 1), QRect(265, y, 27, 21), 118);
        EditTage[n] =
            Edit(page, QStringLiteral("EditTage%1").arg(n + 1), QRect(295, y, 70, 21), 175);
        EditTage[n]->setToolTip(QStringLiteral(" Wochentage, z. B. Mo-Fr \n leer: jeden Tag "));
        EditTage[n]->setAccessibleName(QStringLiteral("Tage %1").arg(n + 1));
        ButtonJetztSchreiben[n] =
            GlyphButton(page, QStringLiteral("ButtonJetztSchreiben%1").arg(n + 1), QString(),
                        app::Glyph::Schreiben, QRect(368, y, 23, 21), 176);
        ButtonJetztSchreiben[n]->setToolTip(QStringLiteral(" Jetzt schreiben "));
        ButtonJetztSchreiben[n]->setAccessibleName(QStringLiteral("Jetzt schreiben %1").arg(n + 1));
    }
}

void THauptFenster::BaueProgrammInfo(QWidget* page) {
    Label(page, QStringLiteral("TextProduktname"),
          QStringLiteral("Varno KM20/KM50 - Konfiguration"), QRect(16, 40, 280, 18), true);
    VersionsString = Label(page, QStringLiteral("VersionsString"),
                           QStringLiteral("Version %s vom %s"), QRect(16, 66, 280, kLabelHeight));
    EinstellungenButton = new QPushButton(QStringLiteral("Einstellungen..."), page);
    EinstellungenButton->setObjectName(QStringLiteral("EinstellungenButton"));
    EinstellungenButton->setGeometry(16, 164, 100, 25);
    EinstellungenButton->setAutoDefault(false);
    BaueAnimation(page);
}

void THauptFenster::BaueDialoge() {
    // Made on first use: a file dialog scans its directory as soon as it exists.
    if (OpenDialog)
        return;
    const QString filter = QStringLiteral("Varno-Parametrierung (*.vrn)");
    auto make = [&](const QString& name, const QString& title, QFileDialog::AcceptMode mode) {
        auto* d = new QFileDialog(this, title, QString(), filter);
        d->setObjectName(name);
        d->setOption(QFileDialog::DontUseNativeDialog);
        d->setAcceptMode(mode);
        d->setDefaultSuffix(QStringLiteral("vrn"));
        d->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
        return d;
    };
    OpenDialog = make(QStringLiteral("OpenDialog"), QStringLiteral("Konfiguration laden"),
                      QFileDialog::AcceptOpen);
    SaveDialog = make(QStringLiteral("SaveDialog"), QStringLiteral("Konfiguration sichern"),
                      QFileDialog::AcceptSave);
    SaveDialog->selectFile(QStringLiteral("WinVarno.vrn"));
    ZeitOpenDialog = make(QStringLiteral("ZeitOpenDialog"),
                          QStringLiteral("Konfiguration auswählen"), QFileDialog::AcceptOpen);
}

void THauptFenster::BaueTabellen() {
    // The tables were filled as the controls were made; here every matrix image gets
    // its own copy of the template, row by row as the ports run.
    MatrixVorlage = app::MakeMatrixTemplate();
    for (int i = 0; i < kPorts; ++i) {
        for (TMatrixBild* bild : MSNMatrixTabelle[i])
            bild->setPicture(MatrixVorlage);
        ImpulsTabelle[i]->setPicture(MatrixVorlage);
        AmtsholungTabelle[i]->setPicture(MatrixVorlage);
    }
}
