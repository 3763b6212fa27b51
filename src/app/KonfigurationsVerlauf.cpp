#include "app/KonfigurationsVerlauf.h"

#include "app/Beschriftung.h"
#include "catalogue/Catalogue.h"
#include "charges/ChargeReport.h"
#include "platform/IniFile.h"
#include "session/Sitzung.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace meldung = catalogue::meldung;

namespace {

enum Spalte { Nummer, Zeit, Herkunft, Aenderung, Spalten };

// Skipped index lines shown one by one; the rest as a count.
constexpr int kGezeigteProbleme = 3;
// Lines of a summary's tool tip.
constexpr int kTipZeilen = 20;

QString Zeitpunkt(const config::HistoryVersion& v) {
    return v.time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

} // namespace

// The version list, newest first; a summary is worked out when its row is asked for.
class TVersionenModell : public QAbstractTableModel {
public:
    explicit TVersionenModell(const TKonfigurationsVerlauf& fenster)
        : QAbstractTableModel(nullptr), m_fenster(fenster) {}

    void Neu() {
        beginResetModel();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(m_fenster.m_verlauf.Versions().size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : Spalten;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount({}))
            return {};
        const std::size_t i = m_fenster.IndexVonZeile(index.row());
        const config::HistoryVersion& v = m_fenster.m_verlauf.Versions()[i];
        switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
            case Nummer:
                return v.id;
            case Zeit:
                return Zeitpunkt(v);
            case Herkunft:
                return config::OriginText(v.origin, v.detail);
            default:
                return m_fenster.Zusammenfassung(i).zusammenfassung;
            }
        case Qt::ToolTipRole:
            return index.column() == Aenderung ? m_fenster.Zusammenfassung(i).alleAenderungen
                                               : QVariant();
        case Qt::ForegroundRole:
            if (index.column() == Aenderung && m_fenster.Zusammenfassung(i).fehler)
                return QColor(Qt::red);
            return {};
        case Qt::TextAlignmentRole:
            return index.column() == Nummer ? int(Qt::AlignRight | Qt::AlignVCenter)
                                            : int(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        switch (section) {
        case Nummer:
            return QStringLiteral("Version");
        case Zeit:
            return QStringLiteral("Zeit");
        case Herkunft:
            return QStringLiteral("Herkunft");
        default:
            return QStringLiteral("Änderung gegenüber der vorigen Version");
        }
    }

private:
    const TKonfigurationsVerlauf& m_fenster;
};

TKonfigurationsVerlauf::TKonfigurationsVerlauf(Quelle quelle, QWidget* parent)
    : QWidget(parent, Qt::Window), m_quelle(std::move(quelle)), m_verlauf(m_quelle.verzeichnis) {
    setObjectName(QStringLiteral("KonfigurationsVerlauf"));
    setWindowTitle(QStringLiteral("Konfigurationsverlauf"));
    resize(820, 560);

    m_modell = new TVersionenModell(*this);
    m_modell->setParent(this);
    Versionen = new QTableView(this);
    Versionen->setObjectName(QStringLiteral("Versionen"));
    Versionen->setModel(m_modell);
    Versionen->verticalHeader()->hide();
    Versionen->setSelectionBehavior(QAbstractItemView::SelectRows);
    Versionen->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Versionen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Versionen->setWordWrap(false);
    Versionen->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // Fixed widths: fitting them to the contents would read every version's file.
    const QFontMetrics fm = fontMetrics();
    Versionen->setColumnWidth(Nummer, fm.horizontalAdvance(QStringLiteral("Version 0")) + 8);
    Versionen->setColumnWidth(Zeit,
                              fm.horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) + 16);
    Versionen->setColumnWidth(Herkunft,
                              fm.horizontalAdvance(QStringLiteral("an der Anlage geändert")) + 16);
    Versionen->horizontalHeader()->setStretchLastSection(true);
    Versionen->setAccessibleName(QStringLiteral("Versionen"));

    VergleichText = new QLabel(this);
    VergleichText->setObjectName(QStringLiteral("VergleichText"));
    VergleichText->setTextFormat(Qt::PlainText);
    VergleichText->setWordWrap(true);
    QFont fett = VergleichText->font();
    fett.setBold(true);
    VergleichText->setFont(fett);

    Aenderungen = new QListWidget(this);
    Aenderungen->setObjectName(QStringLiteral("Aenderungen"));
    Aenderungen->setAccessibleName(QStringLiteral("Änderungen"));
    Aenderungen->setSelectionMode(QAbstractItemView::ExtendedSelection);

    Meldung = new QLabel(this);
    Meldung->setObjectName(QStringLiteral("Meldung"));
    Meldung->setTextFormat(Qt::PlainText);
    Meldung->setWordWrap(true);
    WiederherstellenButton = new QPushButton(QStringLiteral("Wiederherstellen"), this);
    WiederherstellenButton->setObjectName(QStringLiteral("WiederherstellenButton"));
    WiederherstellenButton->setAutoDefault(false);
    auto* zeile = new QHBoxLayout();
    zeile->addWidget(Meldung, 1);
    zeile->addWidget(WiederherstellenButton);

    Hinweis = new QLabel(this);
    Hinweis->setObjectName(QStringLiteral("Hinweis"));
    Hinweis->setTextFormat(Qt::PlainText);
    Hinweis->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Versionen, 3);
    layout->addWidget(VergleichText);
    layout->addWidget(Aenderungen, 2);
    layout->addLayout(zeile);
    layout->addWidget(Hinweis);

    connect(Versionen->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TKonfigurationsVerlauf::AuswahlChange);
    connect(WiederherstellenButton, &QPushButton::clicked, this,
            &TKonfigurationsVerlauf::WiederherstellenClick);
}

TKonfigurationsVerlauf::~TKonfigurationsVerlauf() = default;

void TKonfigurationsVerlauf::Aktualisiere() {
    m_namen = charges::ReadPortNames(platform::IniFile(m_quelle.settingsPath));
    m_verlauf.Open();
    m_eintraege.assign(m_verlauf.Versions().size(), Eintrag{});
    m_modell->Neu();

    const QStringList& probleme = m_verlauf.Problems();
    QStringList hinweis = probleme.mid(0, kGezeigteProbleme);
    if (probleme.size() > kGezeigteProbleme)
        hinweis << catalogue::Fill(meldung::VerlaufWeitereZeilen,
                                   QString::number(probleme.size() - kGezeigteProbleme));
    if (m_verlauf.Versions().empty() && probleme.isEmpty())
        app::SetBlack(Hinweis, catalogue::Fill(meldung::VerlaufLeer, m_verlauf.Directory()));
    else
        app::SetRed(Hinweis, hinweis.join(u'\n'));
    Hinweis->setVisible(!Hinweis->text().isEmpty());
    ZeigeMeldung(QString(), false);
    if (!m_verlauf.Versions().empty())
        Versionen->selectRow(0);
    AuswahlChange();
}

std::size_t TKonfigurationsVerlauf::IndexVonZeile(int row) const {
    return m_verlauf.Versions().size() - 1 - std::size_t(row);
}

QString TKonfigurationsVerlauf::zelle(int row, int column) const {
    return m_modell->data(m_modell->index(row, column), Qt::DisplayRole).toString();
}

const std::optional<config::ConfigImage>& TKonfigurationsVerlauf::Bild(std::size_t index) const {
    Eintrag& e = m_eintraege[index];
    if (!e.geladen) {
        e.bild = m_verlauf.Load(m_verlauf.Versions()[index].id, &e.grund);
        e.geladen = true;
    }
    return e.bild;
}

const TKonfigurationsVerlauf::Eintrag&
TKonfigurationsVerlauf::Zusammenfassung(std::size_t index) const {
    Eintrag& e = m_eintraege[index];
    if (e.zusammengefasst)
        return e;
    e.zusammengefasst = true;
    const auto& bild = Bild(index);
    if (!bild) {
        e.zusammenfassung = e.alleAenderungen = e.grund;
        e.fehler = true;
    } else if (index == 0) {
        e.zusammenfassung = QStringLiteral("erste Version");
    } else if (const auto& vorher = Bild(index - 1); !vorher) {
        e.zusammenfassung = QStringLiteral("kein Vergleich: Version %1 ist nicht lesbar")
                                .arg(m_verlauf.Versions()[index - 1].id);
        e.alleAenderungen = m_eintraege[index - 1].grund;
        e.fehler = true;
    } else {
        const auto changes = config::CompareConfigurations(*vorher, *bild, m_namen);
        e.zusammenfassung = config::ChangeSummary(changes);
        QStringList zeilen;
        for (std::size_t k = 0; k < changes.size() && k < std::size_t(kTipZeilen); ++k)
            zeilen << changes[k].text;
        if (changes.size() > std::size_t(kTipZeilen))
            zeilen << QStringLiteral("…");
        e.alleAenderungen = zeilen.join(u'\n');
    }
    return e;
}

std::vector<std::size_t> TKonfigurationsVerlauf::Gewaehlt() const {
    std::vector<std::size_t> gewaehlt;
    for (const QModelIndex& row : Versionen->selectionModel()->selectedRows())
        gewaehlt.push_back(IndexVonZeile(row.row()));
    std::sort(gewaehlt.begin(), gewaehlt.end());
    return gewaehlt;
}

QString TKonfigurationsVerlauf::Benennung(std::size_t index) const {
    const config::HistoryVersion& v = m_verlauf.Versions()[index];
    return QStringLiteral("Version %1 (%2)").arg(v.id).arg(Zeitpunkt(v));
}

std::optional<config::ConfigImage> TKonfigurationsVerlauf::Anlage(QString* grund) const {
    session::TSitzung& sitzung = *m_quelle.sitzung;
    // Mid-read the image is half old, half new.
    if (sitzung.TransferAktiv()) {
        *grund = QStringLiteral("eine Übertragung läuft");
        return std::nullopt;
    }
    // What was last read or read back, not the pages: they may hold a restored version.
    // While the service has the line, the pages hold what it read.
    if (!sitzung.LeitungAbgegeben()) {
        if (std::optional<config::ConfigImage> anlage = sitzung.AnlagenKonfiguration())
            return anlage;
        *grund = QStringLiteral("von der Anlage ist noch nichts vollständig gelesen");
        return std::nullopt;
    }
    if (sitzung.Transfer().WriteBlocker() == device::TWriteBlocker::NotRead) {
        *grund = QStringLiteral("von der Anlage ist noch nichts vollständig gelesen");
        return std::nullopt;
    }
    return sitzung.Image();
}

void TKonfigurationsVerlauf::AuswahlChange() {
    Aenderungen->clear();
    const std::vector<std::size_t> gewaehlt = Gewaehlt();
    const auto zeige = [this](const QString& text, bool fehler) {
        if (fehler)
            app::SetRed(VergleichText, text);
        else
            app::SetBlack(VergleichText, text);
    };
    PruefeWiederherstellen();
    if (gewaehlt.empty() || gewaehlt.size() > 2) {
        zeige(m_verlauf.Versions().empty()
                  ? QString()
                  : QStringLiteral("Eine Version wählen, um sie mit der Anlage zu vergleichen, "
                                   "oder zwei, um sie miteinander zu vergleichen"),
              false);
        return;
    }
    const std::size_t von = gewaehlt.front();
    QString titel = QStringLiteral("Von %1 ").arg(Benennung(von));
    std::optional<config::ConfigImage> nach;
    QString grund;
    if (gewaehlt.size() == 2) {
        titel += QStringLiteral("zu %1").arg(Benennung(gewaehlt.back()));
        nach = Bild(gewaehlt.back());
        grund = m_eintraege[gewaehlt.back()].grund;
    } else {
        titel += QStringLiteral("zur Anlage, wie zuletzt gelesen");
        nach = Anlage(&grund);
    }
    if (!Bild(von))
        grund = m_eintraege[von].grund;
    if (!Bild(von) || !nach) {
        zeige(titel + QStringLiteral(": kein Vergleich, ") + grund, true);
        return;
    }
    zeige(titel + u':', false);
    const auto changes = config::CompareConfigurations(*Bild(von), *nach, m_namen);
    if (changes.empty())
        Aenderungen->addItem(config::ChangeSummary(changes));
    for (const config::ConfigChange& c : changes)
        Aenderungen->addItem(c.text);
}

QString TKonfigurationsVerlauf::LadeSperre() const {
    if (m_quelle.sitzung->TransferAktiv())
        return catalogue::Text(meldung::WiederherstellenLaeuft);
    if (m_quelle.darfLaden && !m_quelle.darfLaden())
        return catalogue::Fill(meldung::NichtWiederhergestellt,
                               QStringLiteral("Öffnen ist gerade gesperrt"));
    return {};
}

void TKonfigurationsVerlauf::PruefeWiederherstellen() {
    const std::vector<std::size_t> gewaehlt = Gewaehlt();
    // The controls are given back while the ending transfer still counts as running,
    // so the button follows "Öffnen..." alone; the click checks the transfer too.
    const bool frei = m_quelle.darfLaden ? m_quelle.darfLaden() : LadeSperre().isEmpty();
    WiederherstellenButton->setEnabled(frei && gewaehlt.size() == 1 && Bild(gewaehlt.front()));
    WiederherstellenButton->setToolTip(frei ? QString() : LadeSperre());
}

bool TKonfigurationsVerlauf::LadeVersion(const config::HistoryVersion& version) {
    return m_quelle.sitzung->WiederherstellenVersion(version.id);
}

void TKonfigurationsVerlauf::WiederherstellenClick() {
    const std::vector<std::size_t> gewaehlt = Gewaehlt();
    if (gewaehlt.size() != 1)
        return;
    const std::size_t i = gewaehlt.front();
    const config::HistoryVersion version = m_verlauf.Versions()[i];
    if (const QString sperre = LadeSperre(); !sperre.isEmpty()) {
        ZeigeMeldung(sperre, true);
        return;
    }
    // A file that is not what the index says goes nowhere near the exchange. Checked
    // afresh: the window may have been open while the file changed.
    QString grund;
    if (!m_verlauf.Load(version.id, &grund)) {
        for (std::size_t k = i; k < m_eintraege.size() && k <= i + 1; ++k)
            m_eintraege[k] = Eintrag{};
        Versionen->viewport()->update();
        PruefeWiederherstellen();
        ZeigeMeldung(catalogue::Fill(meldung::NichtWiederhergestellt, grund), true);
        return;
    }
    if (!LadeVersion(version)) {
        ZeigeMeldung(catalogue::Fill(meldung::NichtWiederhergestellt,
                                     catalogue::Fill(meldung::DateiNichtGeoeffnet,
                                                     m_verlauf.FilePath(version))),
                     true);
        return;
    }
    if (m_quelle.geladen)
        m_quelle.geladen();
    ZeigeMeldung(catalogue::Fill(meldung::VersionGeladen, QString::number(version.id)), false);
    AuswahlChange();
}

void TKonfigurationsVerlauf::ZeigeMeldung(const QString& text, bool fehler) {
    if (fehler)
        app::SetRed(Meldung, text);
    else
        app::SetBlack(Meldung, text);
}
