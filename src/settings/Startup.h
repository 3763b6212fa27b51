#pragma once

#include "protocol/Exchange.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace platform {
class IniFile;
}

// The widget-free parts of start-up: command line, price texts and the values
// read from the settings file.
namespace startup {

inline constexpr int kPortCount = exchange::kPorts;
inline constexpr int kFirstPort = exchange::kFirstPort;
inline constexpr int kLabelLength = 40;

struct Switches {
    bool autoEnde = false;
    bool zyklisch = false; // already false when autoEnde is set
};

// Every argument upper-cased (ASCII letters only) and compared with the switches.
Switches ParseCommandLine(const QStringList& arguments);

// At most the first 10 characters, the first "," taken as the decimal point; a
// text that is not a finite number gives nothing.
std::optional<double> Geldbetrag(const QString& text);
// The same, nothing counting as 0.
double PreisAusText(const QString& text);

// The price per unit: outside 0 .. 9.99 it is 0.
double KostenProEinheitAusText(const QString& text);

// The cyclic period in seconds; a "Wartezeit" of 0 or less counts as one minute,
// since a countdown armed with 0 would never fire.
int ZyklusSekundenAusWartezeit(int minuten);

// Caption of the cyclic check box for a period.
QString ZyklusBeschriftung(int zyklusSekunden);

bool IstGueltigerPortName(const QString& name);

struct Zeitpunkt {
    QString zeit = QStringLiteral("9999");
    QString datei;
};

// Everything start-up reads from the settings file after the port name.
struct Einstellungen {
    std::array<QString, kPortCount> bezeichnungen;
    std::array<int, kPortCount> alteEinheiten{};
    std::array<double, kPortCount> alteKosten{};
    double kostenProEinheit = 0.0;
    int zyklusSekunden = 60;
    std::optional<int> fensterX, fensterY;
    std::array<Zeitpunkt, 4> zeitpunkte;
};

QString LiesPortName(const platform::IniFile& ini);

// The comms log's file: the environment's choice (WINVARNO_COMMSLOG) before the
// settings file's "Diagnose"/"Protokolldatei"; empty leaves the log off. A path
// that is not absolute counts from the home directory ("~/" included).
QString KommunikationsProtokoll(const platform::IniFile& ini, const QString& umgebung);
Einstellungen LiesEinstellungen(const platform::IniFile& ini);

} // namespace startup
