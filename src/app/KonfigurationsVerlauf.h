#pragma once

#include "config/ConfigDiff.h"
#include "config/ConfigHistory.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QTableView;
class TVersionenModell;

namespace session {
class TSitzung;
}

// The window "Konfigurationsverlauf": the configurations the history keeps, newest
// first, each with its time, origin and what changed against the one before; the
// changes between two of them, or between one and the exchange; and
// "Wiederherstellen", which loads one into the pages, from where "Schreiben" writes it.
//
// Version files are read when a row is first shown, so a long history opens quickly;
// a damaged one shows its reason in its row and is never loaded.
class TKonfigurationsVerlauf : public QWidget {
    Q_OBJECT
public:
    struct Quelle {
        QString verzeichnis;  // the history's folder
        QString settingsPath; // the port names
        session::TSitzung* sitzung = nullptr;
        // Whether a file may be loaded into the pages now, as with "Öffnen...".
        std::function<bool()> darfLaden;
        // After a version went into the pages: what follows a loaded file.
        std::function<void()> geladen;
    };

    explicit TKonfigurationsVerlauf(Quelle quelle, QWidget* parent = nullptr);
    ~TKonfigurationsVerlauf() override;

    // Reads the index and the port names again and shows them.
    void Aktualisiere();
    // Shows the changes for the rows chosen: one against the exchange, two between them.
    void AuswahlChange();
    void WiederherstellenClick();
    // Enables "Wiederherstellen" for one loadable version while loading is allowed.
    void PruefeWiederherstellen();

    const config::ConfigHistory& verlauf() const { return m_verlauf; }
    // The text of a cell of the version list (row 0 is the newest version).
    QString zelle(int row, int column) const;

    QTableView* Versionen = nullptr;
    QLabel* VergleichText = nullptr;
    QListWidget* Aenderungen = nullptr;
    QPushButton* WiederherstellenButton = nullptr;
    QLabel* Meldung = nullptr; // what the last restore did
    QLabel* Hinweis = nullptr; // an empty history, or index lines skipped

private:
    friend class TVersionenModell;

    // One version's file and its summary, read when first needed.
    struct Eintrag {
        bool geladen = false;
        std::optional<config::ConfigImage> bild;
        QString grund; // why the file could not be loaded
        bool zusammengefasst = false;
        QString zusammenfassung;
        QString alleAenderungen; // the summary's tool tip
        bool fehler = false;
    };

    // The one step that puts a version into the session's image and pages.
    bool LadeVersion(const config::HistoryVersion& version);
    // The configuration the exchange holds as far as the program knows; nullopt with
    // the reason when there is none to compare with.
    std::optional<config::ConfigImage> Anlage(QString* grund) const;
    // Why no version may be loaded now; empty when one may.
    QString LadeSperre() const;
    const std::optional<config::ConfigImage>& Bild(std::size_t index) const;
    const Eintrag& Zusammenfassung(std::size_t index) const;
    std::size_t IndexVonZeile(int row) const;
    // The chosen versions' indices, oldest first.
    std::vector<std::size_t> Gewaehlt() const;
    QString Benennung(std::size_t index) const; // "Version 3 (07.12.2026 09:05:30)"
    void ZeigeMeldung(const QString& text, bool fehler);

    Quelle m_quelle;
    config::ConfigHistory m_verlauf;
    config::PortNames m_namen;
    mutable std::vector<Eintrag> m_eintraege; // by index into m_verlauf.Versions()
    TVersionenModell* m_modell = nullptr;
};
