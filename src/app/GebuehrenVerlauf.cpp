#include "app/GebuehrenVerlauf.h"

#include "app/VerlaufDiagramm.h"
#include "catalogue/Catalogue.h"
#include "platform/IniFile.h"
#include "platform/UserFile.h"

#include <QAbstractTableModel>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

// The table: per period the costs of the eight ports, their sum and the units.
class TVerlaufModell : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void Setze(const std::vector<charges::PeriodCosts>* zeilen,
               const std::array<QString, charges::kHistoryPorts>& namen) {
        beginResetModel();
        m_zeilen = zeilen;
        m_namen = namen;
        m_punkt = charges::DecimalPoint();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() || !m_zeilen ? 0 : int(m_zeilen->size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : charges::kHistoryPorts + 3;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || !m_zeilen)
            return {};
        const charges::PeriodCosts& z = (*m_zeilen)[size_t(index.row())];
        const int c = index.column();
        if (role == Qt::TextAlignmentRole)
            return c == 0 ? int(Qt::AlignLeft | Qt::AlignVCenter)
                          : int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        if (c == 0)
            return z.label;
        if (c <= charges::kHistoryPorts)
            return charges::Money(z.costs[size_t(c - 1)], m_punkt);
        if (c == charges::kHistoryPorts + 1)
            return charges::Money(z.costSum(), m_punkt);
        return QString::number(z.unitsSum());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        if (section == 0)
            return QStringLiteral("Zeitraum");
        if (section <= charges::kHistoryPorts)
            return app::PortBeschriftung(section - 1, m_namen[size_t(section - 1)]);
        if (section == charges::kHistoryPorts + 1)
            return QStringLiteral("Summe");
        return QStringLiteral("Einheiten");
    }

private:
    const std::vector<charges::PeriodCosts>* m_zeilen = nullptr;
    std::array<QString, charges::kHistoryPorts> m_namen;
    QChar m_punkt = u'.';
};

TGebuehrenVerlauf::TGebuehrenVerlauf(Quelle quelle, QWidget* parent)
    : QWidget(parent, Qt::Window), m_quelle(std::move(quelle)) {
    setObjectName(QStringLiteral("GebuehrenVerlauf"));
    setWindowTitle(QStringLiteral("Gebührenverlauf"));
    resize(900, 640);

    auto* zeile = new QHBoxLayout();
    auto* text = new QLabel(QStringLiteral("Zeitraum:"), this);
    ZeitraumAuswahl = new QComboBox(this);
    ZeitraumAuswahl->setObjectName(QStringLiteral("ZeitraumAuswahl"));
    ZeitraumAuswahl->addItem(QStringLiteral("Tag"), int(charges::Period::Day));
    ZeitraumAuswahl->addItem(QStringLiteral("Monat"), int(charges::Period::Month));
    ZeitraumAuswahl->addItem(QStringLiteral("Jahr"), int(charges::Period::Year));
    ZeitraumAuswahl->setCurrentIndex(1);
    text->setBuddy(ZeitraumAuswahl);
    ExportierenButton = new QPushButton(QStringLiteral("Exportieren..."), this);
    ExportierenButton->setObjectName(QStringLiteral("ExportierenButton"));
    ExportierenButton->setAutoDefault(false);
    zeile->addWidget(text);
    zeile->addWidget(ZeitraumAuswahl);
    zeile->addStretch();
    zeile->addWidget(ExportierenButton);

    Diagramm = new QChartView(this);
    Diagramm->setObjectName(QStringLiteral("Diagramm"));
    Diagramm->setRenderHint(QPainter::Antialiasing);
    Diagramm->setMinimumHeight(300);

    m_modell = new TVerlaufModell(this);
    Tabelle = new QTableView(this);
    Tabelle->setObjectName(QStringLiteral("Tabelle"));
    Tabelle->setModel(m_modell);
    Tabelle->verticalHeader()->hide();
    Tabelle->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tabelle->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tabelle->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    Tabelle->horizontalHeader()->setStretchLastSection(true);

    Meldung = new QLabel(this);
    Meldung->setObjectName(QStringLiteral("Meldung"));
    Meldung->setTextFormat(Qt::PlainText);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(zeile);
    layout->addWidget(Diagramm, 3);
    layout->addWidget(Tabelle, 2);
    layout->addWidget(Meldung);

    connect(ZeitraumAuswahl, &QComboBox::currentIndexChanged, this,
            &TGebuehrenVerlauf::ZeitraumChange);
    connect(ExportierenButton, &QPushButton::clicked, this, &TGebuehrenVerlauf::ExportierenClick);
}

charges::Period TGebuehrenVerlauf::zeitraum() const {
    return charges::Period(ZeitraumAuswahl->currentData().toInt());
}

void TGebuehrenVerlauf::Aktualisiere() {
    const platform::IniFile ini(m_quelle.settingsPath);
    m_tarife = charges::ReadTarife(ini);
    m_namen = charges::ReadPortNames(ini);
    m_verlauf = m_quelle.verlauf ? m_quelle.verlauf() : std::nullopt;
    m_hinweis = m_verlauf
                    ? charges::SkippedNote(*m_verlauf)
                    : catalogue::Fill(catalogue::meldung::ProtokollUnlesbar, m_quelle.logPath);
    Zeige();
}

void TGebuehrenVerlauf::ZeitraumChange() {
    Zeige();
}

void TGebuehrenVerlauf::Zeige() {
    m_zeilen = m_verlauf ? charges::Aggregate(*m_verlauf, zeitraum(), m_tarife)
                         : std::vector<charges::PeriodCosts>();
    m_modell->Setze(&m_zeilen, m_namen);
    Tabelle->resizeColumnsToContents();
    Tabelle->scrollToBottom();

    const size_t gezeigt = std::min(m_zeilen.size(), size_t(kDiagrammZeitraeume));
    const std::vector<charges::PeriodCosts> letzte(m_zeilen.end() - std::ptrdiff_t(gezeigt),
                                                   m_zeilen.end());
    QChart* chart = app::KostenDiagramm(letzte, m_namen, zeitraum(), QLocale::system());
    if (gezeigt < m_zeilen.size())
        chart->setTitle(QStringLiteral("%1, die letzten %2 von %3")
                            .arg(chart->title())
                            .arg(gezeigt)
                            .arg(m_zeilen.size()));
    QChart* alt = Diagramm->chart();
    Diagramm->setChart(chart);
    delete alt;
    Meldung->setText(m_hinweis);
}

void TGebuehrenVerlauf::ExportierenClick() {
    if (!ExportDialog) {
        ExportDialog = new QFileDialog(this, QStringLiteral("Gebührenverlauf exportieren"),
                                       QString(), QStringLiteral("CSV-Dateien (*.csv)"));
        ExportDialog->setObjectName(QStringLiteral("ExportDialog"));
        ExportDialog->setOption(QFileDialog::DontUseNativeDialog);
        ExportDialog->setAcceptMode(QFileDialog::AcceptSave);
        ExportDialog->setFileMode(QFileDialog::AnyFile);
        ExportDialog->setDefaultSuffix(QStringLiteral("csv"));
    }
    ExportDialog->selectFile(QStringLiteral("Gebuehren_%1.csv").arg(app::ZeitraumName(zeitraum())));
    const QString path = m_quelle.dateiDialog ? m_quelle.dateiDialog(ExportDialog) : QString();
    if (path.isEmpty())
        return;
    const QByteArray csv = charges::ToCsv(m_zeilen, m_namen);
    // Written beside and renamed into place once wholly on disk: an existing file is
    // never left half or empty.
    int fehler = 0;
    const bool ok = platform::ReplaceFile(path, csv, &fehler);
    Meldung->setText(
        ok ? m_hinweis
           : catalogue::MitGrund(catalogue::meldung::DateiNichtGespeichert, path, fehler));
}
