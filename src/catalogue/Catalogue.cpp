#include "catalogue/Catalogue.h"

#include "platform/UserFile.h"

#include <array>
#include <cerrno>
#include <cstring>
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
    // Not in the original set: a write without a fresh read of the counters used to
    // set them back, and a charge log that took no row said nothing.
    Entry{40, "Gebühreneinheiten wurden nicht geschrieben"},
    Entry{41, "Gebührenprotokoll %s kann nicht geschrieben werden"},
    // Not in the original set: every open failure used to look the same.
    Entry{45, "Keine Berechtigung für %s: den Benutzer in die Gruppe dialout aufnehmen "
              "(sudo usermod -aG dialout $USER) und neu anmelden"},
    Entry{46, "%s ist belegt: ein anderes Programm hält die Schnittstelle"},
    Entry{47, "Das Gerät %s gibt es nicht: ist der Adapter eingesteckt und der Pfad richtig?"},
    Entry{48, "%s ist keine serielle Schnittstelle"},
    Entry{49, "%s kann nicht geöffnet werden"},
    // The charge history and the monthly budgets.
    Entry{50, "Monatsbudget überschritten: Anschluß %s"},
    Entry{51, "Monatsbudget überschritten: Summe %s"},
    Entry{52, "Monatsbudgets überschritten: %s"},
    Entry{53, "Gebührenprotokoll %s kann nicht gelesen werden"},
    Entry{54, "Übersprungene Zeilen im Gebührenprotokoll: %s"},
    // Not in the original set: a write after a failed read used to wipe the exchange.
    Entry{55, "Nicht geschrieben: erst vollständig lesen oder eine Datei öffnen"},
    Entry{56, "Nicht geschrieben: %s a/b-Schnittstellen sind ungültig"},
    // Not in the original set: a save the user did not ask for failed without a word,
    // and a charge log cut in a row showed wrong increases.
    Entry{60, "Einstellungsdatei %s kann nicht gespeichert werden"},
    Entry{61, "Gebührenprotokoll %s endete in einer abgeschnittenen Zeile"},
    Entry{62, "Einstellungsdatei %s kann nicht gelesen werden"},
    // Not in the original set: the schedule's days of the week, holidays and closing days.
    Entry{75, "Zeitsteuerung: übergangen %s"},
    Entry{76, "Nicht geschrieben: kein Dateiname für diesen Zeitpunkt"},
    Entry{77, "Nicht geschrieben: eine Übertragung läuft"},
    // Not in the original set: the service's answers to a request on the bus, and
    // its journal.
    Entry{80, "Nicht geschrieben: das Bild hat %s Bytes statt 588"},
    Entry{81, "Nicht geschrieben: Anschluß %s gibt es in diesem Bild nicht"},
    Entry{82, "Nicht geschrieben: Anschluß %s ist mehrfach angegeben"},
    Entry{83, "Zeitpunkt %s gibt es nicht"},
    Entry{84, "Nicht gelesen: eine Übertragung läuft"},
    Entry{85, "Anlage an %s ist wieder erreichbar"},
    Entry{86, "Der WinVarno-Dienst läuft schon"},
    Entry{87, "Der WinVarno-Dienst antwortet nicht: %s"},
    // Not in the original set: a write is read back, since the exchange acknowledges
    // nothing, and every configuration is kept in the history.
    Entry{90, "Konfiguration geschrieben und geprüft"},
    Entry{91, "Die Anlage weicht vom Geschriebenen ab (geschrieben → gelesen): %s"},
    Entry{92, "Konfiguration geschrieben, aber nicht geprüft: die Anlage antwortet nicht"},
    Entry{93, "Konfigurationsverlauf nicht gespeichert: %s"},
    Entry{94, "Die Konfiguration wurde an der Anlage geändert: %s"},
    Entry{95, "Nicht geschrieben: die Anlage hat die Konfiguration aus %s schon"},
    Entry{96, "Nicht wiederhergestellt: %s"},
    Entry{97, "Geschriebene Konfiguration wird zurückgelesen"},
    // Not in the original set: the window "Konfigurationsverlauf".
    Entry{100, "Konfigurationsverlauf %s ist leer"},
    Entry{101, "Version %s geladen, noch nicht in die Anlage geschrieben"},
    Entry{103, "Nicht wiederhergestellt: eine Übertragung läuft"},
    Entry{104, "Konfigurationsverlauf: %s weitere Zeilen übersprungen"},
    // Not in the original set: the window hands the line to the service and takes it back.
    Entry{110, "WinVarno-Dienst beendet: WinVarno übernimmt die Schnittstelle %s"},
    Entry{111, "WinVarno-Dienst gestartet: er übernimmt die Schnittstelle %s"},
};

} // namespace

QString Text(int nummer) {
    for (const auto& e : kEntries)
        if (e.nummer == nummer)
            return QString::fromUtf8(e.text);
    return {};
}

QString Fill(int nummer, const QString& argument) {
    QString text = Text(nummer);
    // Only the first placeholder is filled; the argument is never parsed as a format.
    if (const qsizetype at = text.indexOf(u"%s"); at >= 0)
        text.replace(at, 2, argument);
    return text;
}

QString PanelText(int nummer, int stufe, const QString& argument) {
    return QString(QChar(u'0' + stufe)) + u':' + Fill(nummer, argument);
}

QString DateiGrund(int error) {
    switch (error) {
    case platform::kNotRegularFile:
        return QStringLiteral("keine gewöhnliche Datei");
    case ENOSPC:
        return QStringLiteral("kein Platz mehr auf dem Datenträger");
    case EDQUOT:
        return QStringLiteral("Speicherkontingent erschöpft");
    case EFBIG:
        return QStringLiteral("Datei zu groß");
    case EACCES:
    case EPERM:
        return QStringLiteral("keine Berechtigung");
    case EROFS:
        return QStringLiteral("Datenträger ist schreibgeschützt");
    case ENOENT:
        return QStringLiteral("Ordner oder Datei fehlt");
    case ENOTDIR:
        return QStringLiteral("ein Teil des Pfads ist kein Ordner");
    case EISDIR:
        return QStringLiteral("ist ein Ordner");
    case EIO:
        return QStringLiteral("Ein-/Ausgabefehler des Datenträgers");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

QString MitGrund(int nummer, const QString& argument, int error) {
    const QString text = Fill(nummer, argument);
    return error == 0 ? text : text + QStringLiteral(": ") + DateiGrund(error);
}

QString OeffnungsGrund(serial::TPortFailure failure, const QString& geraet, int error) {
    using serial::TPortFailure;
    QString pfad = geraet;
    for (QChar& c : pfad)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    if (pfad.size() > 80)
        pfad = pfad.left(38) + QStringLiteral("…") + pfad.right(38);
    int nummer = meldung::OeffnenFehler;
    switch (failure) {
    case TPortFailure::NoPermission:
        nummer = meldung::KeineBerechtigung;
        break;
    case TPortFailure::Busy:
        nummer = meldung::Belegt;
        break;
    case TPortFailure::NoDevice:
        nummer = meldung::GibtEsNicht;
        break;
    case TPortFailure::NotSerial:
        nummer = meldung::KeineSerielle;
        break;
    case TPortFailure::None:
    case TPortFailure::Other:
        break;
    }
    QString grund = Text(nummer);
    grund.replace(grund.indexOf(u"%s"), 2, pfad);
    if (nummer == meldung::OeffnenFehler && error != 0)
        grund += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    return grund;
}

} // namespace catalogue
