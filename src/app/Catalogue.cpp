#include "app/Catalogue.h"

#include <array>
#include <utility>

namespace catalogue {
namespace {

struct Entry {
    int nummer;
    const char* text;
};

constexpr std::array kEntries{
    Entry{1, "Gebühreninformationen werden gelesen"},
    Entry{2, "Grundkonfiguration wird gelesen"},
    Entry{3, "Endgerätekonfiguration wird gelesen"},
    Entry{4, "Kommunikationsfehler"},
    Entry{5, "Schnittstelle %s kann nicht geöffnet werden"},
    Entry{6, "Keine Verbindung zur Varno KM50"},
    Entry{7, "1TR6"},
    Entry{8, "DSS1"},
    Entry{9, "Mehrgeräteanschluß"},
    Entry{10, "Anlagenanschluß"},
    Entry{11, "Vollamt"},
    Entry{12, "Inland"},
    Entry{13, "Ortsgespräch"},
    Entry{14, "Ankommend"},
    Entry{15, "Keine"},
    Entry{16, "Telefon"},
    Entry{17, "Fax G3"},
    Entry{18, "Daten"},
    Entry{19, "T-Online"},
    Entry{20, "Anrufbeantworter"},
    Entry{21, "Kombidienst"},
    Entry{22, "Portadresse '%s' ist ungültig"},
    Entry{24, "Schnittstelle %s wird geöffnet"},
    Entry{26, "Grundkonfiguration wird übertragen"},
    Entry{27, "Anschluß %s wird konfiguriert"},
    Entry{28, "Nein"},
    Entry{29, "Ja"},
    Entry{30, "WinVarno ist schon aktiv"},
    Entry{31, "WinVarno ist nur für Firmware-Version 1.93 geeignet"},
    Entry{32, "Datei %s konnte nicht geöffnet werden"},
    // Not in the original set: a failed save used to look exactly like success.
    Entry{33, "Datei %s konnte nicht gespeichert werden"},
    Entry{35, "Gebühreneinheiten werden geschrieben"},
    Entry{36, "Schnittstelle %s kann nicht beschrieben werden"},
    Entry{37, "Jede Minute neu lesen"},
    Entry{38, "Alle %d Minuten neu lesen"},
};

} // namespace

QString Text(int nummer) {
    for (const auto& e : kEntries)
        if (e.nummer == nummer)
            return QString::fromUtf8(e.text);
    return {};
}

QString PanelText(int nummer, int stufe, const QString& argument) {
    QString text = QString(QChar(u'0' + stufe)) + u':' + Text(nummer);
    // Only the first placeholder is filled; the argument is never parsed as a format.
    if (const qsizetype at = text.indexOf(u"%s"); at >= 0)
        text.replace(at, 2, argument);
    return text;
}

} // namespace catalogue
