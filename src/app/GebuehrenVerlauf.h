#pragma once

#include "charges/ChargeReport.h"

#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class QChartView;
class QComboBox;
class QFileDialog;
class QLabel;
class QPushButton;
class QTableView;
class TVerlaufModell;

// The window "Gebührenverlauf": the costs per period as a bar chart stacked by
// port, the same numbers as a table, the choice of period and the CSV export.
class TGebuehrenVerlauf : public QWidget {
    Q_OBJECT
public:
    struct Quelle {
        // The log's history as it stands now; nullopt when the log cannot be read.
        std::function<std::optional<charges::THistory>()> verlauf;
        QString logPath;
        QString settingsPath;
        // Shows a file dialog; the chosen path, or empty when the user cancelled.
        std::function<QString(QFileDialog*)> dateiDialog;
    };

    // The chart shows the latest periods only; the table and the export all of them.
    static constexpr int kDiagrammZeitraeume = 36;

    explicit TGebuehrenVerlauf(Quelle quelle, QWidget* parent = nullptr);

    // Reads the log and the settings again and shows them.
    void Aktualisiere();
    void ZeitraumChange();
    void ExportierenClick();

    charges::Period zeitraum() const;
    const std::vector<charges::PeriodCosts>& zeilen() const { return m_zeilen; }

    QComboBox* ZeitraumAuswahl = nullptr;
    QPushButton* ExportierenButton = nullptr;
    QChartView* Diagramm = nullptr;
    QTableView* Tabelle = nullptr;
    QLabel* Meldung = nullptr;
    QFileDialog* ExportDialog = nullptr;

private:
    void Zeige();

    Quelle m_quelle;
    std::optional<charges::THistory> m_verlauf;
    charges::TTarife m_tarife;
    std::array<QString, charges::kHistoryPorts> m_namen;
    std::vector<charges::PeriodCosts> m_zeilen;
    QString m_hinweis; // what reading the log had to say
    TVerlaufModell* m_modell = nullptr;
};
