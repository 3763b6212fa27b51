#pragma once

#include "catalogue/Catalogue.h"
#include "config/ConfigImage.h"
#include "desktop/UWMMsg.h"
#include "protocol/Line.h"
#include "schedule/Schedule.h"
#include "session/Sitzung.h"
#include "settings/Startup.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QFileDialog;
class QPainter;
class QMenu;
class QAction;

namespace platform {
class SingleInstance;
}
namespace report {
struct PrintoutData;
}
namespace service {
class TDienstKlient;
}

class TComm32;
class TDdeServer;
class TStatusZeile;
class TMatrixBild;
class TZeitEdit;
class THilfe;
class TAnimationControl;
class TTrayIcon;
class TMessageHook;
class TEinstellungenDialog;
class TGebuehrenVerlauf;
class TKonfigurationsVerlauf;

// What the main window needs from its surroundings. The program passes the real
// things; tests pass fakes, so start-up can be driven without a port or a user.
struct TUmgebung {
    QStringList arguments; // without the program name
    QString settingsPath;  // WinVarno.INI
    QString programPath;   // the running executable
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // The modal warning box; returns when the user has closed it.
    std::function<void(const QString& caption, const QString& text)> warnung;
    // The serial line. Left empty, the window's own TComm32 serves.
    std::shared_ptr<device::TLine> line;
    // Shows a file dialog; the chosen path, or empty when the user cancelled.
    std::function<QString(QFileDialog*)> dateiDialog;
    // The printout's page, owned by the caller; nullptr when there is no printer.
    // Left empty, the default printer serves.
    std::function<QPaintDevice*()> drucker;
    // The comms log's file as the environment names it (WINVARNO_COMMSLOG); before
    // the settings file's own. Empty: the settings file decides.
    QString kommunikationsProtokoll;
    // The configuration history's folder; empty: config::ConfigHistory::DefaultDirectory().
    QString konfigurationsVerlauf;
    // The bus on which the service winvarnod is looked for; empty: the session bus.
    // A bus that is not connected: no service, the window owns the line.
    std::function<QDBusConnection()> dienstBus;
};

// The main window: every control of the program, the control tables through which
// the subsystems reach the per-port and per-MSN controls, and the handlers of
// timer, buttons and close requests. The handlers hand the work to the session and
// show what it reports. Everything runs on the GUI thread.
namespace meldung = catalogue::meldung;
namespace stufe = catalogue::stufe;

class THauptFenster : public QWidget, private session::TBeobachter {
    Q_OBJECT
public:
    static constexpr int kPorts = exchange::kPorts;
    static constexpr int kMsns = exchange::kMsns;

    explicit THauptFenster(TUmgebung umgebung, QWidget* parent = nullptr);
    ~THauptFenster() override;

    // True when start-up found another instance; the program must end at once.
    bool terminated() const { return m_terminated; }

    // The program's work behind the window: image, transfers, charges, schedule.
    session::TSitzung& Sitzung() { return *m_sitzung; }
    const session::TSitzung& Sitzung() const { return *m_sitzung; }

    // --- status line and catalogue ---
    void ZeigeMeldung(int nummer, int stufe, const QString& argument = QString());
    // A file's failure in red: the message for the path, then why (errno value or
    // platform::kNotRegularFile; nothing added for 0).
    void ZeigeDateiFehler(int nummer, const QString& pfad, int fehler);
    void AktualisiereUhrzeit();
    QString statusText(int panel) const;

    // --- handlers; each hands the work to the session and shows its results ---
    void OnSekunde();
    void LesenButtonClick();
    void HilfeButtonClick();
    void BeendenButtonClick();
    // SIGTERM, SIGINT or SIGHUP: ends the program as "Beenden" does, even mid-write.
    void EndeAufSignal();
    void OnMessage(TMessage& message);
    void OnSchreibenClick();
    void OnReceiveData(const char* buffer, quint16 length);
    void SetControlsEnabled(bool enabled);
    // "Schreiben" stays disabled, its tool tip saying why, while the image holds
    // nothing fit to write.
    void SchreibenPruefen();
    // A read or a write runs (the service's while it has the line): no second
    // transfer may start.
    bool TransferAktiv() const;
    // The service winvarnod has the line and the window is its client
    // (HauptFensterDienst.cpp).
    bool DienstVerbunden() const;
    void OeffnenClick();
    void SpeichernClick();

    // --- configuration image and its views ---
    // Loads a parameter file into the image (keeping the charge block) and decodes
    // it; message 32 and no change when the file cannot be read.
    bool LadeParameterDatei(const QString& path);
    void DecodeBasicBlock();
    void DecodeTerminalBlock();
    void RefreshMsnPage();
    void RefreshPortPage();
    void CommitMsnPage();
    void CommitPortPage();
    // The commit points: selections, the inner page, leaving and entering the page.
    void OnMSNAuswahlChange();
    void OnabAuswahlChange();
    void ParametrierungPageChange(int index);
    void OnMainPageChange(int index);
    // Selects pages as the program does: no page handler runs.
    void ZeigeSeite(QWidget* page, QWidget* innerPage = nullptr);

    // --- time control ---
    void OnUhrzeitClick(int entry); // entry 0..3
    void ButtonDurchsuchenClick(int entry);
    void ButtonJetztSchreibenClick(int entry);
    void ZeitsteuerungPruefen();

    // --- settings dialog and reopening the port (HauptFensterEinstellungen.cpp) ---
    // "Einstellungen...", and a click on the status line while it shows message 22 or 5.
    void EinstellungenClick();
    TEinstellungenDialog* EinstellungenDialog() const; // while it is open
    // Port labels, old units and costs, price, interval and the cyclic box's caption.
    void EinstellungenAnwenden(const platform::IniFile& ini);
    // Closes the port, opens it on the device the settings file names now and reads;
    // during a transfer, once it has ended.
    void PortNeuOeffnen();

    // --- printout (HauptFensterDrucken.cpp) ---
    void DruckenButtonClick();

    // --- tray icon, tray menu and message hook (HauptFensterDesktop.cpp) ---
    // False where the platform keeps windows' positions to itself (native Wayland).
    static bool PositionErinnerbar();
    void TaskleistenIconClick();
    void PopupItemKonfigurationClick();
    void PopupItemZuordnungClick();
    void PopupItemBerechtigungenClick();
    void PopupItemGebuehrenClick();
    void PopupItemMSNParametrierungClick();
    void PopupItemAnschlussParametrierungClick();
    void PopupItemZeitsteuerungClick();
    void PopupItemInfoClick();
    void PopupItemSchliessenClick();

    // --- charges ---
    void EvaluateCharges();
    // --- charge history (HauptFensterVerlauf.cpp) ---
    void VerlaufButtonClick();
    // --- configuration history (HauptFensterKonfigurationsVerlauf.cpp) ---
    void KonfigurationsVerlaufClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the session reports, applied to the controls and control tables.
    void Meldung(int nummer, int stufe, const QString& argument) override;
    void MeldungsGrund(const QString& grund) override;
    void DateiFehler(int nummer, const QString& pfad, int fehler) override;
    void GrundblockDecodiert(const config::BasicBlockView& view) override;
    void EndgeraeteblockDecodiert(const config::TerminalBlockView& view) override;
    void GebuehrenBerechnet(const charges::ChargeTexts& texte, int ports) override;
    void ZuwaechseBerechnet(const std::array<QString, kPorts>& zuwaechse, const QString& summe,
                            int ports) override;
    void ZaehlerBehalten(int port, std::uint16_t wert) override;
    void SteuerungFreigeben(bool frei) override;
    void TransferBeendet() override;       // HauptFensterKonfigurationsVerlauf.cpp
    void VerlaufErgaenzt(int id) override; // HauptFensterKonfigurationsVerlauf.cpp
    void LesenVollstaendig() override;
    void FirmwareAbgelehnt() override;
    void BildVergessen() override;
    void BudgetWarnung(const QString& text) override;
    void EndeAngefordert() override;
    void Uhrzeit(const QDateTime& jetzt) override;

    void OnCreate();
    bool DoIExist();
    // --- the service winvarnod (HauptFensterDienst.cpp) ---
    // The service's reports, as the client hands them over: to the window's own
    // handlers, with what only a report from another process needs.
    class TDienstBeobachter final : public session::TBeobachter {
    public:
        explicit TDienstBeobachter(THauptFenster& w) : m_w(w) {}
        void Meldung(int nummer, int stufe, const QString& argument) override;
        void MeldungsGrund(const QString& grund) override;
        void DateiFehler(int nummer, const QString& pfad, int fehler) override;
        void GrundblockDecodiert(const config::BasicBlockView& view) override;
        void EndgeraeteblockDecodiert(const config::TerminalBlockView& view) override;
        void GebuehrenBerechnet(const charges::ChargeTexts& texte, int ports) override;
        void ZuwaechseBerechnet(const std::array<QString, kPorts>& zuwaechse, const QString& summe,
                                int ports) override;
        void ZaehlerBehalten(int port, std::uint16_t wert) override;
        void SteuerungFreigeben(bool frei) override;
        void LesenVollstaendig() override;
        void FirmwareAbgelehnt() override;
        void BildVergessen() override;
        void TransferBeendet() override;

    private:
        THauptFenster& m_w;
    };
    // Makes the client when there is a bus; true when the service owns its name.
    bool DienstSuchen();
    // Follows the service and shows its state; on failure the window takes the line.
    bool DienstVerbinden();
    void DienstGegangen();
    void DienstGekommen();
    // The window opens the port itself and reads, as at start-up.
    void LeitungUebernehmen();
    void DdeExportieren();
    // A request the service refused, in red with its reason.
    void ZeigeDienstAntwort(const QString& grund);
    // The port as the status line names it: the service's while it has the line.
    QString AnzeigePort() const;
    void OnClose(QCloseEvent* event);
    void OnStatusPanelDraw(QPainter& painter, int panel, const QRect& rect);
    void VerbindeSitzung();
    void VerbindeParametrierung();
    // An open history window follows each charge read.
    void NachGebuehrenLesen();
    // A parameter file or a version of the history went into the pages.
    void NachDateiGeladen();
    // An open configuration history offers "Wiederherstellen" only while loading is allowed.
    void KonfigurationsVerlaufPruefen();
    // The reason behind the message shown: tool tip and accessible description.
    void SetzeStatusGrund(const QString& grund);
    bool StartMeldungZeigt() const; // message 22 or 5: a click leads to the settings
    void StatusZeileClick(int panel);
    void BaueDesktop();         // made with the window
    void BaueTaskleistenIcon(); // made once no other instance runs
    // The saved position, kept on the screens; without one the desktop places the window.
    void SetzeFensterPosition(std::optional<int> x, std::optional<int> y);
    void BaueAnimation(QWidget* page); // made with the page
    void BaueDialoge();
    void ZeigeFenster(QWidget* page, QWidget* innerPage = nullptr);
    report::PrintoutData Druckdaten(const QDateTime& jetzt) const;

    // Layout, one page at a time.
    void BaueFenster();
    void BaueKonfiguration(QWidget* page);
    void BaueZuordnung(QWidget* page);
    void BaueBerechtigungen(QWidget* page);
    void BaueGebuehren(QWidget* page);
    void BaueParametrierung(QWidget* page);
    void BaueMsnParametrierung(QWidget* page);
    void BaueAbParametrierung(QWidget* page);
    void BaueZeitParametrierung(QWidget* page);
    void BaueProgrammInfo(QWidget* page);
    void BaueTabellen();

    TUmgebung m_env;
    std::unique_ptr<platform::SingleInstance> m_instance;
    bool m_terminated = false;
    std::unique_ptr<session::TSitzung> m_sitzung;
    // After the session: the client writes into its image and is gone before it.
    std::unique_ptr<TDienstBeobachter> m_dienstBeobachter;
    std::unique_ptr<service::TDienstKlient> m_dienst;
    bool m_dienstUebergabe = false; // the service came during a transfer of the window

    QImage MatrixVorlage; // the empty box every matrix image starts from
    std::array<QString, 5> BerechtigungsNamen;
    std::array<QString, 6> DienstNamen;
    int SelectedMsn = 0;
    int SelectedPort = 0;
    QString HelpFile;

    // --- control tables ---
    std::array<QLabel*, kMsns> MSNTabelle{};
    std::array<QLabel*, kPorts> BezeichnungTabelleA{}, BezeichnungTabelleB{}, BezeichnungTabelleC{};
    std::array<QLabel*, kPorts> BerechtigungTabelle{}, DienstTabelle{}, KostenTabelle{},
        DiffTabelle{}, EinheitenTabelle{}, RufumleitungTabelle{};
    std::array<QCheckBox*, kPorts> ZuordnungTabelle{};
    std::array<TMatrixBild*, kPorts> ImpulsTabelle{}, AmtsholungTabelle{};
    std::array<std::array<TMatrixBild*, kMsns>, kPorts> MSNMatrixTabelle{};

    // --- controls used by the handlers ---
    QTabWidget* MainPageControl = nullptr;
    QTabWidget* ParametrierungPageControl = nullptr;
    QWidget *TabKonfiguration = nullptr, *TabZuordnung = nullptr, *TabBerechtigungen = nullptr,
            *TabGebuehren = nullptr, *TabParametrierung = nullptr, *TabProgrammInfo = nullptr;
    QWidget *MSNParametrierung = nullptr, *abParametrierung = nullptr,
            *ZeitParametrierung = nullptr;
    QCheckBox* ZyklischNeuLesen = nullptr;
    QPushButton *LesenButton = nullptr, *HilfeButton = nullptr, *BeendenButton = nullptr;
    QPushButton *OeffnenButton = nullptr, *SpeichernButton = nullptr, *SchreibenButton = nullptr,
                *DruckenButton = nullptr;
    TStatusZeile* StatusZeile = nullptr;
    QLabel *Protokoll = nullptr, *Anschlussart = nullptr, *S0Extern = nullptr, *S0Intern = nullptr,
           *abSchnittstellen = nullptr, *Firmware = nullptr, *MusicOnHold = nullptr;
    QLabel *EinheitenSumme = nullptr, *DiffSumme = nullptr, *KostenSumme = nullptr;
    QComboBox *MSNAuswahl = nullptr, *abAuswahl = nullptr, *BerechtigungsAuswahl = nullptr,
              *DienstAuswahl = nullptr;
    QLineEdit *TelefonNummer = nullptr, *GebuehrenEinheiten = nullptr;
    QCheckBox *GebuehrenImpuls = nullptr, *SpontaneAmtsholung = nullptr;
    std::array<TZeitEdit*, 4> EditUhrzeit{};
    std::array<QLineEdit*, 4> EditDateiname{};
    std::array<QPushButton*, 4> ButtonDurchsuchen{};
    std::array<QLineEdit*, 4> EditTage{};
    std::array<QPushButton*, 4> ButtonJetztSchreiben{};
    QLabel* VersionsString = nullptr;
    TAnimationControl* AnimationControl = nullptr;
    QTimer* SekundenTimer = nullptr;
    QFileDialog *OpenDialog = nullptr, *SaveDialog = nullptr, *ZeitOpenDialog = nullptr;
    THilfe* Hilfe = nullptr;
    TComm32* Communication = nullptr;
    QPushButton* EinstellungenButton = nullptr;
    QPointer<TEinstellungenDialog> m_einstellungen;
    QMenu* TrayPopupMenu = nullptr;
    QAction *PopupItemKonfiguration = nullptr, *PopupItemZuordnung = nullptr,
            *PopupItemBerechtigungen = nullptr, *PopupItemGebuehren = nullptr,
            *PopupItemParametrierung = nullptr, *PopupItemMSNParametrierung = nullptr,
            *PopupItemAnschlussParametrierung = nullptr, *PopupItemZeitsteuerung = nullptr,
            *PopupItemInfo = nullptr, *N1 = nullptr, *PopupItemSchliessen = nullptr;
    TTrayIcon* TaskleistenIcon = nullptr;
    TMessageHook* MessageHook = nullptr; // off until the first complete read
    TDdeServer* WinVarno = nullptr;      // the exported items DDEEinheiten and DDEKosten
    QPushButton* VerlaufButton = nullptr;
    TGebuehrenVerlauf* GebuehrenVerlauf = nullptr; // made on first use
    QPushButton* KonfigurationsVerlaufButton = nullptr;
    TKonfigurationsVerlauf* KonfigurationsVerlauf = nullptr; // made on first use

    QWidget* m_hauptSeite = nullptr;         // the main page shown before a change
    QWidget* m_parametrierSeite = nullptr;   // likewise the inner page
    bool m_programmWechsel = false;          // a page switch of the program's own
    std::array<QString, kMsns> m_msnGelesen; // the MSNs as last decoded
};
