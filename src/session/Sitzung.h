#pragma once

#include "charges/Budget.h"
#include "charges/ChargeEvaluation.h"
#include "charges/ChargeHistory.h"
#include "config/ConfigHistory.h"
#include "config/ConfigImage.h"
#include "config/ConfigViews.h"
#include "device/TransferSequence.h"
#include "protocol/Line.h"
#include "schedule/Schedule.h"
#include "schedule/Wochenplan.h"
#include "settings/Startup.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {
class IniFile;
}

// The program's work without its window: the configuration image and the arrays
// decoded from it, the conversation with the exchange, the charges with their log
// and budgets, the cyclic and automatic-close countdowns, the schedule, and the
// one-second duties. Whoever shows it (the window, a test, a service) learns of it
// through TBeobachter.
//
// Threading: the GUI thread only. Every report may process pending events (the
// window's status line does), so any handler can run inside it; each operation
// marks its own state before it reports.
namespace session {

inline constexpr int kPorts = exchange::kPorts;

// What the session reports, in the order it happens, by direct calls on the GUI
// thread. A plain interface rather than Qt signals: the receiver's work (a status
// text drawn, labels decoded) must be done before the session goes on, and a
// test implements just what it looks at; every report does nothing by default.
class TBeobachter {
public:
    // A catalogue message with its severity (catalogue::stufe) and argument.
    virtual void Meldung(int nummer, int stufe, const QString& argument);
    // The reason behind the message just reported (why the port did not open).
    virtual void MeldungsGrund(const QString& grund);
    // A file's failure, red: the message for the path, then why (an errno value or
    // platform::kNotRegularFile; nothing added for 0).
    virtual void DateiFehler(int nummer, const QString& pfad, int fehler);
    // The basic block (or a loaded file) was decoded into the arrays.
    virtual void GrundblockDecodiert(const config::BasicBlockView& view);
    virtual void EndgeraeteblockDecodiert(const config::TerminalBlockView& view);
    // Units and costs of ports 1..ports, their sums and the exported texts; before
    // the charge log is visited.
    virtual void GebuehrenBerechnet(const charges::ChargeTexts& texte, int ports);
    // The increases over the log's last row, once the log was visited.
    virtual void ZuwaechseBerechnet(const std::array<QString, kPorts>& zuwaechse,
                                    const QString& summe, int ports);
    // A counter the user set stays set over the one read afresh (port 1..8).
    virtual void ZaehlerBehalten(int port, std::uint16_t wert);
    // A transfer locks the controls (false) and gives them back (true); the time-out
    // of a read gives them back too.
    virtual void SteuerungFreigeben(bool frei);
    // The last block of a complete read was taken.
    virtual void LesenVollstaendig();
    // The exchange has another firmware: only reading, help and end may stay usable.
    virtual void FirmwareAbgelehnt();
    // The port leads to another device: what was read from the last one may no
    // longer be written (Transfer().WriteBlocker() says so now).
    virtual void BildVergessen();
    // The transfer is over and another may start.
    virtual void TransferBeendet();
    // A monthly budget was exceeded; one desktop notification each.
    virtual void BudgetWarnung(const QString& text);
    // The automatic close fell due (AUTOENDE): a close request, not the end.
    virtual void EndeAngefordert();
    // The clock duty of the one-second timer.
    virtual void Uhrzeit(const QDateTime& jetzt);
    // A configuration not seen before was kept as version `id` of the history
    // (Konfigurationsverlauf()).
    virtual void VerlaufErgaenzt(int id);

    virtual ~TBeobachter() = default;
};

struct TSitzungsUmgebung {
    QString settingsPath; // WinVarno.INI
    QString programPath;  // the charge log, its backup and the budget state lie beside it
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // Before each opening of the port, with the settings file: what the line takes
    // from it (the comms log, the names of the ports).
    std::function<void(const platform::IniFile&)> vorDemOeffnen;
    // Why the port did not open, also as one line on stderr; a service that words
    // its own journal turns it off.
    bool grundAufStderr = true;
    // Where every configuration read, written, loaded or saved is kept.
    QString historyDirectory = config::ConfigHistory::DefaultDirectory();
};

// A QObject only as the context of its deferred calls (the scheduled load), which
// end with it.
class TSitzung : public QObject {
public:
    TSitzung(TSitzungsUmgebung umgebung, device::TLine& line, TBeobachter& beobachter,
             QObject* parent = nullptr);
    ~TSitzung() override;

    // --- start-up, in the order the program runs it ---
    // Flags at their start values, the charge log's paths, and its folder made.
    void Vorbereiten();
    void SetzeSchalter(const startup::Switches& schalter);
    // Opens the port of that name: message 22 when the name is no port, 24 and then
    // 5 with the reason when it cannot be opened. True when it is open.
    bool OeffneSchnittstelle(const QString& portName);
    // Prices, old readings and the cyclic period; a running countdown takes a
    // changed period at once.
    void EinstellungenAnwenden(const startup::Einstellungen& e);
    // The cyclic countdown armed with the period when ZYKLISCH was given.
    void ArmeZyklus();

    // --- the one-second timer: cyclic read, automatic close, transfer time-out,
    // clock and schedule, in that order ---
    void Sekunde();

    // --- the exchange ---
    bool StartRead();
    // The write of the image as it stands, with the counters the user set, read back
    // at its end; kept in the configuration history as written.
    device::TWriteResult Schreiben();
    // The counters the user set since the last read (ports 1..UsedPorts).
    device::TCounterEdits ZaehlerAenderungen() const;
    void Receive(QByteArrayView answer);
    bool TransferAktiv() const { return m_transfer->Busy(); }
    // Opens the port the settings file names now and reads; during a transfer,
    // once it has ended.
    void PortNeuOeffnen();
    // The check box "ZyklischNeuLesen": whether a cyclic expiry reads.
    void SetZyklischNeuLesen(bool an) { m_zyklischNeuLesen = an; }
    // The line belongs to another process (the service), whose reports the image
    // receives: the port is closed, and no read, write, cyclic read or scheduled load
    // of this session starts until it is taken back. False while a transfer runs.
    bool LeitungAbgeben();
    // This session may use the line again; it opens the port when it next needs it.
    void LeitungZuruecknehmen() { m_leitungAbgegeben = false; }
    bool LeitungAbgegeben() const { return m_leitungAbgegeben; }

    // --- the image ---
    void DecodeBasicBlock();
    void DecodeTerminalBlock();
    // Loads a parameter file into the image (keeping the charge block), which then
    // may be written, and decodes it; message 32 and no change when the file cannot
    // be read.
    bool LadeParameterDatei(const QString& path);
    // Message 33 when the file cannot be written.
    bool SpeichereParameterDatei(const QString& path);
    // Loads version `id` of the configuration history into the image (keeping the
    // charge block), fit to be written as a loaded file is, and decodes it; message
    // 96 with the reason and no change when it cannot be loaded or a transfer runs.
    bool WiederherstellenVersion(int id);

    // --- the configuration history ---
    // Every distinct configuration read, written (and read back), loaded, saved or
    // restored is kept there; opened at its first use.
    config::ConfigHistory& Konfigurationsverlauf();
    // The configuration the exchange on the port holds as far as the program knows:
    // as last read completely or read back after a write, also in an earlier run;
    // nullopt when unknown.
    std::optional<config::ConfigImage> AnlagenKonfiguration();

    // --- charges ---
    // Evaluates the counters of the image, visits the log, checks the budgets.
    void EvaluateCharges();
    // The log as read so far and what was appended since; nullopt when unreadable.
    std::optional<charges::THistory> Verlauf();

    // --- schedule ---
    // Entry n (0..3) as its fields show it now; the check uses it at once.
    void SetZeitpunkt(int n, const schedule::Entry& entry);
    // The days of the week, the Land's holidays and the closing days from the
    // settings file; lines passed over are told (message 75).
    void WochenplanAnwenden(const platform::IniFile& ini);
    // Entry n's days as its field shows them now.
    void SetTage(int n, const schedule::TWochentage& tage);
    const schedule::TWochenplan& Wochenplan() const { return m_wochenplan; }
    // A scheduled load (and "Jetzt schreiben") writes nothing when the file holds the
    // configuration the exchange has (AnlagenKonfiguration, the firmware left out).
    void ZeitsteuerungPruefen();
    // "Jetzt schreiben": entry n's file loaded and written now, as when its time
    // comes; false when the line is busy or the entry names no file.
    bool JetztSchreiben(int n);

    // --- the end ---
    void BeendenAnfordern() { m_beendenAngefordert = true; }
    bool BeendenAngefordert() const { return m_beendenAngefordert; }
    // A write still running ends between two line bytes, then the port goes.
    void Beenden();

    // --- state, for the window's views and for tests ---
    config::ConfigImage& Image() { return m_image; }
    const config::ConfigImage& Image() const { return m_image; }
    config::DecodedArrays& Arrays() { return m_arrays; }
    const config::DecodedArrays& Arrays() const { return m_arrays; }
    device::TTransferSequence& Transfer() { return *m_transfer; }
    const device::TTransferSequence& Transfer() const { return *m_transfer; }
    schedule::TZeitsteuerung& Zeitsteuerung() { return m_zeitsteuerung; }
    QString CommPort() const { return m_commPort; }
    bool AutoEnde() const { return m_autoEnde; }
    bool Zyklisch() const { return m_zyklisch; }
    int ZyklusSekunden() const { return m_zyklusSekunden; }
    int ZyklusZaehler() const { return m_zyklusZaehler; }
    void SetZyklusZaehler(int sekunden) { m_zyklusZaehler = sekunden; }
    int AutoEndeZaehler() const { return m_autoEndeZaehler; }
    void SetAutoEndeZaehler(int sekunden) { m_autoEndeZaehler = sekunden; }
    double KostenProEinheit() const { return m_kostenProEinheit; }
    const std::array<int, kPorts>& AlteEinheiten() const { return m_alteEinheiten; }
    const std::array<double, kPorts>& AlteKosten() const { return m_alteKosten; }
    const std::array<int, kPorts>& LoggedUnits() const { return m_loggedUnits; }
    int LoggedSum() const { return m_loggedSum; }
    bool BackupPending() const { return m_backupPending; }
    QString ChargeLogPath() const { return m_chargeLogPath; }
    QString ChargeBackupPath() const { return m_chargeBackupPath; }
    void SetzeProtokollPfade(const QString& log, const QString& backup);
    // Runs once each time a transfer has ended (after a deferred scheduled load has
    // started).
    std::function<void()> NachTransfer;

private:
    class TLeitung;
    friend class TLeitung;

    bool LeitungBereit();
    bool SchnittstelleOeffnen();
    void TransferEnde();
    void CounterEditKept(int port, std::uint16_t value);
    void BudgetsPruefen();
    // Holds the line for the scheduled load of entry n (0..3) and runs it once the
    // calling handler (the timer's, or the one that ended a transfer) has returned.
    void ZeitgesteuertStarten(const QString& path, int n);
    void ZeitgesteuertLaden(const QString& path, int n);
    bool LadeDatei(const QString& path);
    device::TWriteResult SchreibenAls(config::Origin origin, const QString& detail);
    void GelesenAufnehmen();
    void GeschriebenAufnehmen(const std::optional<config::ConfigImage>& readBack);
    void Aufnehmen(const config::ConfigImage& image, config::Origin origin,
                   const QString& detail = {});
    void SetzeAnlagenKonfiguration(const std::optional<config::ConfigImage>& image);
    config::PortNames PortNamen() const;
    QDateTime Jetzt() const;
    void Melde(int nummer, int stufe, const QString& argument = QString());

    TSitzungsUmgebung m_env;
    device::TLine& m_line;
    TBeobachter& m_beobachter;
    std::unique_ptr<TLeitung> m_leitung; // the sequences' view and the line's listener

    config::ConfigImage m_image;
    config::DecodedArrays m_arrays;
    std::unique_ptr<device::TTransferSequence> m_transfer;
    QString m_commPort;            // the configured port name ("COM1" ... "COM4")
    QString m_geraet;              // the device the port was last opened on
    bool m_portNeuOeffnen = false; // asked for during a transfer
    bool m_leitungAbgegeben = false;

    bool m_autoEnde = false;
    bool m_zyklisch = false;
    bool m_zyklischNeuLesen = false;
    int m_zyklusSekunden = 60;
    int m_zyklusZaehler = -1;
    int m_autoEndeZaehler = -1;
    bool m_beendenAngefordert = false;

    double m_kostenProEinheit = 0.0;
    std::array<int, kPorts> m_alteEinheiten{};
    std::array<double, kPorts> m_alteKosten{};
    std::array<int, kPorts> m_loggedUnits{};
    int m_loggedSum = 0;
    bool m_backupPending = true;
    bool m_abgeschnittenGemeldet = false; // the cut row at the log's end was told
    QString m_chargeLogPath, m_chargeBackupPath;
    // Read once, then only what each read appends.
    std::optional<charges::TLogFollower> m_logVerlauf;
    std::optional<charges::TBudgetWaechter> m_budgetWaechter;

    schedule::TZeitsteuerung m_zeitsteuerung{[this] { return Jetzt(); }};
    std::array<schedule::Entry, schedule::kEntries> m_zeitpunkte;
    schedule::TWochenplan m_wochenplan;

    std::optional<config::ConfigHistory> m_konfigVerlauf;
    bool m_verlaufFehlerGemeldet = false; // until a configuration is kept again
    // Where the write running now came from, for the history.
    config::Origin m_schreibHerkunft = config::Origin::Written;
    QString m_schreibAngabe;
    // See AnlagenKonfiguration; looked up in the history once per device.
    std::optional<config::ConfigImage> m_anlage;
    bool m_anlageNachgesehen = false;
};

} // namespace session
