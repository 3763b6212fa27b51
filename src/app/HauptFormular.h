#pragma once

#include "catalogue/Catalogue.h"
#include "charges/Budget.h"
#include "config/ConfigImage.h"
#include "desktop/UWMMsg.h"
#include "device/TransferSequence.h"
#include "protocol/Line.h"
#include "schedule/Schedule.h"
#include "settings/Startup.h"

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
};

// The main window: every control of the program, the control tables through which
// the subsystems reach the per-port and per-MSN controls, and the handlers of
// timer, buttons and close requests. Everything runs on the GUI thread.
namespace meldung = catalogue::meldung;
namespace stufe = catalogue::stufe;

class THauptFenster : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPorts = exchange::kPorts;
    static constexpr int kMsns = exchange::kMsns;

    explicit THauptFenster(TUmgebung umgebung, QWidget* parent = nullptr);
    ~THauptFenster() override;

    // True when start-up found another instance; the program must end at once.
    bool terminated() const { return m_terminated; }

    // --- status line and catalogue ---
    void ZeigeMeldung(int nummer, int stufe, const QString& argument = QString());
    // A file's failure in red: the message for the path, then why (errno value or
    // platform::kNotRegularFile; nothing added for 0).
    void ZeigeDateiFehler(int nummer, const QString& pfad, int fehler);
    void AktualisiereUhrzeit();
    QString statusText(int panel) const;

    // --- handlers ---
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
    // A read or a write runs: no second transfer may start.
    bool TransferAktiv() const { return Transfer->Busy(); }
    // Runs once when a transfer ends (after a deferred scheduled load has started).
    std::function<void()> NachTransfer;
    // The read and write sequences; every transfer starts through them.
    std::unique_ptr<device::TTransferSequence> Transfer;
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
    void ZeitsteuerungPruefen();
    schedule::TZeitsteuerung Zeitsteuerung{
        [this] { return m_env.now ? m_env.now() : QDateTime::currentDateTime(); }};
    config::ConfigImage Image;
    config::DecodedArrays Arrays;
    QImage MatrixVorlage; // the empty box every matrix image starts from

    // --- state that start-up sets ---
    bool AutoEnde = false;
    bool Zyklisch = false;
    int AutoEndeZaehler = -1;
    bool BeendenAngefordert = false;
    double KostenProEinheit = 0.0;
    std::array<int, kPorts> AlteEinheiten{};
    std::array<double, kPorts> AlteKosten{};
    std::array<QString, 5> BerechtigungsNamen;
    std::array<QString, 6> DienstNamen;
    int ZyklusSekunden = 60;
    int ZyklusZaehler = -1;
    bool BackupPending = true;
    int SelectedMsn = 0;
    int SelectedPort = 0;
    QString HelpFile;
    QString CommPort; // the configured port name ("COM1" ... "COM4")

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
    QLabel* VersionsString = nullptr;
    TAnimationControl* AnimationControl = nullptr;
    QTimer* SekundenTimer = nullptr;
    QFileDialog *OpenDialog = nullptr, *SaveDialog = nullptr, *ZeitOpenDialog = nullptr;
    THilfe* Hilfe = nullptr;
    TComm32* Communication = nullptr;

    // --- settings dialog and reopening the port (HauptFensterEinstellungen.cpp) ---
    // "Einstellungen...", and a click on the status line while it shows message 22 or 5.
    void EinstellungenClick();
    TEinstellungenDialog* EinstellungenDialog() const; // while it is open
    // Port labels, old units and costs, price, interval and the cyclic box's caption.
    void EinstellungenAnwenden(const platform::IniFile& ini);
    // Closes the port, opens it on the device the settings file names now and reads;
    // during a transfer, once it has ended.
    void PortNeuOeffnen();
    QPushButton* EinstellungenButton = nullptr;

    // --- printout (HauptFensterDrucken.cpp) ---
    void DruckenButtonClick();

    // --- tray icon, tray menu and message hook (HauptFensterDesktop.cpp) ---
    void BaueDesktop();         // made with the window
    void BaueTaskleistenIcon(); // made once no other instance runs
    // The saved position, kept on the screens; without one the desktop places the window.
    void SetzeFensterPosition(std::optional<int> x, std::optional<int> y);
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
    QMenu* TrayPopupMenu = nullptr;
    QAction *PopupItemKonfiguration = nullptr, *PopupItemZuordnung = nullptr,
            *PopupItemBerechtigungen = nullptr, *PopupItemGebuehren = nullptr,
            *PopupItemParametrierung = nullptr, *PopupItemMSNParametrierung = nullptr,
            *PopupItemAnschlussParametrierung = nullptr, *PopupItemZeitsteuerung = nullptr,
            *PopupItemInfo = nullptr, *N1 = nullptr, *PopupItemSchliessen = nullptr;
    TTrayIcon* TaskleistenIcon = nullptr;
    TMessageHook* MessageHook = nullptr; // off until the first complete read

    // --- animation on "Programm-Info" (HauptFensterAnimation.cpp) ---
    void BaueAnimation(QWidget* page); // made with the page

    // --- charges ---
    void EvaluateCharges();
    std::array<int, kPorts> LoggedUnits{};
    int LoggedSum = 0;
    QString ChargeLogPath, ChargeBackupPath;
    bool m_abgeschnittenGemeldet = false; // the cut row at the log's end was told
    TDdeServer* WinVarno = nullptr;       // the exported items DDEEinheiten and DDEKosten

    // --- charge history and budgets (HauptFensterVerlauf.cpp) ---
    void VerlaufButtonClick();
    // After each charge read: the month's budgets, and an open history window follows.
    void NachGebuehrenLesen();
    QPushButton* VerlaufButton = nullptr;
    TGebuehrenVerlauf* GebuehrenVerlauf = nullptr; // made on first use
    // Read once, then only what each read appends.
    std::optional<charges::TLogFollower> LogVerlauf;
    std::optional<charges::TBudgetWaechter> BudgetWaechter;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnCreate();
    bool DoIExist();
    void OnClose(QCloseEvent* event);
    void OnStatusPanelDraw(QPainter& painter, int panel, const QRect& rect);
    void TransferEnde();
    void VerbindeLeitung();
    bool LeitungBereit();
    class TLeitung;
    std::unique_ptr<TLeitung> m_leitung; // the sequences' view and the line's listener
    device::TLine* m_line = nullptr;     // m_env.line, or Communication
    void VerbindeParametrierung();
    void ZeitgesteuertLaden(const QString& path);
    // Holds the line for the scheduled load and runs it once the calling handler
    // (the timer's, or the one that ended a transfer) has returned.
    void ZeitgesteuertStarten(const QString& path);
    // Messages 24, then 5 with the reason when it fails.
    bool SchnittstelleOeffnen();
    // The reason behind the message shown: tool tip and accessible description.
    void SetzeStatusGrund(const QString& grund);
    bool StartMeldungZeigt() const; // message 22 or 5: a click leads to the settings
    void StatusZeileClick(int panel);
    QPointer<TEinstellungenDialog> m_einstellungen;
    bool m_portNeuOeffnen = false;           // asked for during a transfer
    QString m_geraet;                        // the device the port was last opened on
    QWidget* m_hauptSeite = nullptr;         // the main page shown before a change
    QWidget* m_parametrierSeite = nullptr;   // likewise the inner page
    bool m_programmWechsel = false;          // a page switch of the program's own
    std::array<QString, kMsns> m_msnGelesen; // the MSNs as last decoded

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

public:
    void BaueDialoge();

private:
    void BaueTabellen();

    TUmgebung m_env;
    std::unique_ptr<platform::SingleInstance> m_instance;
    bool m_terminated = false;
};
