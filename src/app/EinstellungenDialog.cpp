#include "app/EinstellungenDialog.h"

#include "platform/IniFile.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// A caption in bold, as every caption of the window.
QLabel* Caption(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    l->setBuddy(buddy);
    return l;
}

QLineEdit* Eingabe(QWidget* parent, const QString& name, int maxLength, int width = 0) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    if (width > 0)
        e->setFixedWidth(width);
    return e;
}

} // namespace

TEinstellungenDialog::TEinstellungenDialog(QString settingsPath,
                                           const std::vector<serial::TSerialDevice>& geraete,
                                           einstellungen::TGeraetePruefung pruefung,
                                           QWidget* parent)
    : QDialog(parent), m_pfad(std::move(settingsPath)), m_pruefung(std::move(pruefung)),
      m_werte(einstellungen::Lies(platform::IniFile(m_pfad))) {
    setObjectName(QStringLiteral("EinstellungenDialog"));
    setWindowTitle(QStringLiteral("Einstellungen"));

    SchnittstelleAuswahl = new QComboBox(this);
    SchnittstelleAuswahl->setObjectName(QStringLiteral("SchnittstelleAuswahl"));
    for (int i = 0; i < einstellungen::kSchnittstellen; ++i)
        SchnittstelleAuswahl->addItem(QStringLiteral("COM%1").arg(i + 1));

    GeraetAuswahl = new QComboBox(this);
    GeraetAuswahl->setObjectName(QStringLiteral("GeraetAuswahl"));
    GeraetAuswahl->setEditable(true);
    GeraetAuswahl->setInsertPolicy(QComboBox::NoInsert);
    // Completion would put an entry's description into the path.
    GeraetAuswahl->setCompleter(nullptr);
    GeraetAuswahl->setMinimumWidth(360);
    for (const serial::TSerialDevice& d : geraete) {
        QString beschreibung = d.name;
        if (!d.path.endsWith(u'/' + d.node))
            beschreibung += (beschreibung.isEmpty() ? QString() : QStringLiteral(", ")) + d.node;
        GeraetAuswahl->addItem(
            beschreibung.isEmpty() ? d.path : d.path + QStringLiteral("  (") + beschreibung + u')',
            d.path);
    }
    // An entry stands for its path alone.
    connect(GeraetAuswahl, &QComboBox::activated, this, [this](int index) {
        GeraetAuswahl->setEditText(GeraetAuswahl->itemData(index).toString());
    });

    KostenEingabe =
        Eingabe(this, QStringLiteral("KostenEingabe"), einstellungen::kKostenZeichen, 70);
    WartezeitEingabe = Eingabe(this, QStringLiteral("WartezeitEingabe"), 4, 50);
    for (int p = 0; p < einstellungen::kPorts; ++p)
        BezeichnungEingabe[p] =
            Eingabe(this, QStringLiteral("BezeichnungEingabe%1").arg(startup::kFirstPort + p),
                    startup::kLabelLength);

    GrundText = new QLabel(this);
    GrundText->setObjectName(QStringLiteral("GrundText"));
    GrundText->setTextFormat(Qt::PlainText);
    GrundText->setWordWrap(true);
    QPalette rot = GrundText->palette();
    rot.setColor(QPalette::WindowText, Qt::red);
    GrundText->setPalette(rot);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    AbbrechenButton = new QPushButton(QStringLiteral("Abbrechen"), this);
    AbbrechenButton->setObjectName(QStringLiteral("AbbrechenButton"));
    AbbrechenButton->setAutoDefault(false);
    connect(OKButton, &QPushButton::clicked, this, &TEinstellungenDialog::OKClick);
    connect(AbbrechenButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(8);
    grid->addWidget(Caption(this, QStringLiteral("Schnittstelle"), SchnittstelleAuswahl), 0, 0);
    grid->addWidget(SchnittstelleAuswahl, 0, 1, Qt::AlignLeft);
    grid->addWidget(Caption(this, QStringLiteral("Gerät"), GeraetAuswahl), 1, 0);
    grid->addWidget(GeraetAuswahl, 1, 1, 1, 3);
    grid->addWidget(Caption(this, QStringLiteral("Kosten pro Einheit"), KostenEingabe), 2, 0);
    grid->addWidget(KostenEingabe, 2, 1, Qt::AlignLeft);
    grid->addWidget(Caption(this, QStringLiteral("Wartezeit"), WartezeitEingabe), 3, 0);
    auto* minuten = new QHBoxLayout;
    minuten->addWidget(WartezeitEingabe);
    minuten->addWidget(new QLabel(QStringLiteral("Minuten"), this));
    minuten->addStretch();
    grid->addLayout(minuten, 3, 1);
    grid->addWidget(Caption(this, QStringLiteral("Bezeichnungen"), BezeichnungEingabe[0]), 4, 0, 1,
                    4);
    constexpr int half = einstellungen::kPorts / 2;
    for (int p = 0; p < einstellungen::kPorts; ++p) {
        const int row = 5 + p % half, column = p < half ? 0 : 2;
        grid->addWidget(
            Caption(this, QString::number(startup::kFirstPort + p), BezeichnungEingabe[p]), row,
            column, Qt::AlignRight);
        grid->addWidget(BezeichnungEingabe[p], row, column + 1);
    }
    grid->addWidget(GrundText, 5 + half, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(AbbrechenButton);
    grid->addLayout(buttons, 6 + half, 0, 1, 4);
    grid->setColumnStretch(3, 1);

    // A port name the file has wrong shows as COM1; OK then writes it right.
    m_schnittstelle = std::max(0, m_werte.AnschlussIndex());
    SchnittstelleAuswahl->setCurrentIndex(m_schnittstelle);
    GeraetAuswahl->setEditText(m_werte.geraete[m_schnittstelle]);
    connect(SchnittstelleAuswahl, &QComboBox::currentIndexChanged, this,
            &TEinstellungenDialog::SchnittstelleGewechselt);
    KostenEingabe->setText(m_werte.kosten);
    WartezeitEingabe->setText(m_werte.wartezeit);
    for (int p = 0; p < einstellungen::kPorts; ++p)
        BezeichnungEingabe[p]->setText(m_werte.bezeichnungen[p]);
}

void TEinstellungenDialog::SchnittstelleGewechselt(int index) {
    // Each port name keeps its own device while the dialog is open.
    m_werte.geraete[m_schnittstelle] = GeraetAuswahl->currentText();
    m_schnittstelle = index;
    GeraetAuswahl->setEditText(m_werte.geraete[index]);
}

einstellungen::TWerte TEinstellungenDialog::Werte() const {
    einstellungen::TWerte w = m_werte;
    w.anschluss = SchnittstelleAuswahl->currentText();
    w.geraete[m_schnittstelle] = GeraetAuswahl->currentText();
    w.kosten = KostenEingabe->text();
    w.wartezeit = WartezeitEingabe->text();
    for (int p = 0; p < einstellungen::kPorts; ++p)
        w.bezeichnungen[p] = BezeichnungEingabe[p]->text();
    return w;
}

void TEinstellungenDialog::ZeigeFehler(const einstellungen::TFehler& fehler) {
    GrundText->setText(fehler.grund);
    QWidget* feld = nullptr;
    switch (fehler.feld) {
    case einstellungen::TFeld::Schnittstelle:
        feld = SchnittstelleAuswahl;
        break;
    case einstellungen::TFeld::Geraet:
        feld = GeraetAuswahl;
        break;
    case einstellungen::TFeld::Kosten:
        feld = KostenEingabe;
        break;
    case einstellungen::TFeld::Wartezeit:
        feld = WartezeitEingabe;
        break;
    case einstellungen::TFeld::Bezeichnung:
        feld = BezeichnungEingabe[size_t(fehler.port)];
        break;
    }
    feld->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(feld))
        edit->selectAll();
}

void TEinstellungenDialog::OKClick() {
    const einstellungen::TWerte werte = Werte();
    if (const auto fehler = einstellungen::Pruefe(werte, m_pruefung)) {
        ZeigeFehler(*fehler);
        return;
    }
    if (const auto grund = einstellungen::Speichere(m_pfad, werte)) {
        GrundText->setText(*grund);
        return;
    }
    accept();
}
