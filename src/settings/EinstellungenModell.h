#pragma once

#include "serial/PortDiscovery.h"
#include "settings/Startup.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace platform {
class IniFile;
}

// What the settings dialog edits, its checks and its writing, without widgets.
// The dialog owns "Allgemein"/"Anschluß", "Kosten", "Wartezeit", the device of the
// chosen port name in "Schnittstellen" and "Bezeichnungen" 21 to 28; nothing else
// of the file is touched.
namespace einstellungen {

inline constexpr int kSchnittstellen = 4; // COM1 .. COM4
inline constexpr int kPorts = startup::kPortCount;
inline constexpr int kWartezeitMax = 1440; // a day
inline constexpr int kKostenZeichen = 10;  // what the price conversion reads

struct TWerte {
    QString anschluss;                            // as written, even when invalid
    std::array<QString, kSchnittstellen> geraete; // device of COM1 .. COM4
    QString kosten;                               // decimal comma
    QString wartezeit;                            // minutes
    std::array<QString, kPorts> bezeichnungen;

    // 0 .. 3 for "COM1" .. "COM4", else -1.
    int AnschlussIndex() const;
};

enum class TFeld { Schnittstelle, Geraet, Kosten, Wartezeit, Bezeichnung };

struct TFehler {
    TFeld feld;
    int port = 0; // 0 .. 7 with TFeld::Bezeichnung
    QString grund;
};

using TGeraetePruefung = std::function<serial::TProbeResult(const QString& pfad)>;

// The values as the program takes them from the file now: "Anschluß" as written,
// a price or interval the program would not take as it counts, the devices with
// their defaults, labels cut to their length.
TWerte Lies(const platform::IniFile& ini);

// The first value that cannot be written, with the reason for the user. A device
// is refused when it cannot be a serial port (missing, a directory, a file,
// /dev/null); one that is busy or not yet permitted may be chosen.
std::optional<TFehler> Pruefe(const TWerte& werte, const TGeraetePruefung& pruefung);

// Writes a key only when what the program takes from it changes. Of the devices
// only that of the chosen port name. True when anything changed.
bool Schreibe(platform::IniFile& ini, const TWerte& werte);

// Reads the file anew (the window writes its position meanwhile), writes and saves
// it atomically; the reason when it cannot be saved.
std::optional<QString> Speichere(const QString& pfad, const TWerte& werte);

// "/dev/ttyS0" .. "/dev/ttyS3", the device of a port name the file does not list.
QString StandardGeraet(int index);

} // namespace einstellungen
