#pragma once

#include "service/Schnittstelle.h"
#include "session/Sitzung.h"

#include <QDBusVirtualObject>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>

class QFileSystemWatcher;
class QTimer;
class TDdeServer;

// The session served on the session bus: winvarnod's work without its process.
namespace service {

// Priorities of the journal's lines, as sd-daemon.h numbers them.
inline constexpr int kFehler = 3, kWarnung = 4, kInfo = 6, kDebug = 7;

struct TDienstUmgebung {
    session::TSitzungsUmgebung sitzung;
    // One line of the journal; by default "<prio>text" on stderr.
    std::function<void(int prioritaet, const QString& text)> journal;
    // A budget exceeded, for the desktop (the service: a notification when the
    // session bus has a notification server).
    std::function<void(const QString& text)> budgetHinweis;
    int sekundeMs = 1000;   // the one-second timer; 0: none (a test ticks by hand)
    int zyklusSekunden = 0; // the cyclic period instead of "Wartezeit"; 0: as set
    bool ddeExport = true;
};

// Owns the session and runs it as the window would, with cyclic reading on: start-up,
// the one-second timer, the settings file followed on every change. It is the
// session's observer: every report goes out as a D-Bus signal and into the state the
// properties show, and the journal hears of every fault once per outage.
//
// Threading: the thread that made it (the main thread); D-Bus calls arrive there
// through the event loop, also inside a write's waits, so each method refuses what
// collides with a running transfer.
class TDienst : public QDBusVirtualObject, private session::TBeobachter {
    Q_OBJECT
public:
    TDienst(TDienstUmgebung umgebung, device::TLine& line, QObject* parent = nullptr);
    ~TDienst() override;

    enum class TAnmeldung { Angemeldet, KeinBus, Vergeben };
    // Registers the object and takes the bus name. Without a session bus the
    // service runs on unreachable; a name owned by another process refuses.
    TAnmeldung Anmelden();

    // Start-up: the settings read and applied, the port opened, the first read
    // started, the timer and the watch on the settings file running. Emits Bereit.
    void Starten();
    // A write still running ends between two line bytes; the port is closed.
    void Beenden();

    session::TSitzung& Sitzung() { return *m_sitzung; }
    QDateTime LetztesLesen() const { return m_letztesLesen; }
    QString LetztesErgebnis() const { return m_letztesErgebnis; }
    // Every property by name, as Zustand() answers.
    QVariantMap Zustand() const;

    // QDBusVirtualObject
    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

signals:
    void Bereit();
    // A read ended: "Letztes Lesen <time>: <result>", for the service manager.
    void StatusGeaendert(const QString& status);

private:
    // --- TBeobachter ---
    void Meldung(int nummer, int stufe, const QString& argument) override;
    void MeldungsGrund(const QString& grund) override;
    void DateiFehler(int nummer, const QString& pfad, int fehler) override;
    void GrundblockDecodiert(const config::BasicBlockView& view) override;
    void EndgeraeteblockDecodiert(const config::TerminalBlockView& view) override;
    void GebuehrenBerechnet(const charges::ChargeTexts& texte, int ports) override;
    void ZuwaechseBerechnet(const std::array<QString, session::kPorts>& zuwaechse,
                            const QString& summe, int ports) override;
    void ZaehlerBehalten(int port, std::uint16_t wert) override;
    void SteuerungFreigeben(bool frei) override;
    void LesenVollstaendig() override;
    void FirmwareAbgelehnt() override;
    void BildVergessen() override;
    void TransferBeendet() override;
    void BudgetWarnung(const QString& text) override;

    // --- the methods ---
    QDBusMessage Lesen(const QDBusMessage& m);
    QDBusMessage Schreiben(const QDBusMessage& m);
    QDBusMessage JetztSchreiben(const QDBusMessage& m);
    QDBusMessage EinstellungenNeuLaden(const QDBusMessage& m);
    QDBusMessage Eigenschaften(const QDBusMessage& m);

    // Prices, period, week plan and schedule from the settings file; the port
    // opened anew when its name or device changed. False when the file is unreadable.
    bool EinstellungenLaden(bool start);
    void DateiBeobachten();
    void Senden(const QString& name, const QVariantList& argumente);
    void EigenschaftenMelden();
    // A fault into the journal unless it stands since an earlier line (an outage).
    void Stoerung(const QString& schluessel, const QString& text, int prioritaet = kFehler);
    void Journal(int prioritaet, const QString& text);
    void LesenEnde(const QString& ergebnis);
    QByteArray BildBytes() const;

    TDienstUmgebung m_env;
    std::unique_ptr<session::TSitzung> m_sitzung;
    TDdeServer* m_dde = nullptr;
    QTimer* m_sekunde = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_neuLaden = nullptr;
    bool m_angemeldet = false;
    bool m_beenden = false;
    QByteArray m_dateiStand;  // the settings file as last seen: inode, size, time
    QString m_port, m_geraet; // as last applied from the settings file

    // What the properties show.
    unsigned m_bloecke = 0;
    bool m_firmwareAbgelehnt = false;
    bool m_steuerungFrei = true;
    charges::ChargeTexts m_texte;
    int m_ports = 0;
    std::array<QString, session::kPorts> m_zuwaechse;
    QString m_zuwachsSumme;
    int m_meldungNummer = 0, m_meldungStufe = 0, m_meldungFehler = -1;
    QString m_meldungArgument, m_meldungText, m_meldungsGrund;
    QDateTime m_letztesLesen;
    QString m_letztesErgebnis;
    QVariantMap m_gemeldet; // the properties as last announced

    // The read in progress, and the journal's memory of standing faults.
    bool m_liest = false, m_vollstaendig = false;
    QString m_leseFehler;
    bool m_schreibt = false; // a write's journal line when it ends
    QString m_schreibFehler;
    QString m_grundErwartet; // message 5 waits for its reason
    QSet<QString> m_bekannt, m_diesesLesen;
    bool m_leitungGestoert = false;
};

} // namespace service
