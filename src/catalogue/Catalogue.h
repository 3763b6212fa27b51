#pragma once

#include "serial/PortFailure.h"

#include <QString>

// The numbered German message texts. Every text the status line shows, and some
// fixed display texts (protocols, permission and service names, captions).
namespace catalogue {

// The message numbers the program shows or looks up.
namespace meldung {
inline constexpr int Keine = 0; // clears the status line
inline constexpr int GebuehrenLesen = 1;
inline constexpr int GrundLesen = 2;
inline constexpr int EndgeraeteLesen = 3;
inline constexpr int Kommunikationsfehler = 4;
inline constexpr int NichtGeoeffnet = 5;
inline constexpr int ProtokollErstes = 7;    // 7, 8: the D-channel protocols
inline constexpr int AnschlussartErste = 9;  // 9, 10: the connection types
inline constexpr int BerechtigungErste = 11; // 11..15: the permission names
inline constexpr int DienstErster = 16;      // 16..21: the service names
inline constexpr int UngueltigerPort = 22;
inline constexpr int WirdGeoeffnet = 24;
inline constexpr int GrundSchreiben = 26;
inline constexpr int AnschlussKonfigurieren = 27;
inline constexpr int MusicOnHoldErstes = 28; // 28 "Nein", 29 "Ja"
inline constexpr int SchonAktiv = 30;
inline constexpr int FalscheFirmware = 31;
inline constexpr int DateiNichtGeoeffnet = 32;
inline constexpr int DateiNichtGespeichert = 33;
inline constexpr int GebuehrenSchreiben = 35;
inline constexpr int NichtBeschrieben = 36;
inline constexpr int JedeMinute = 37;
inline constexpr int AlleMinuten = 38;
inline constexpr int GebuehrenNichtGeschrieben = 40;
inline constexpr int ProtokollNichtGeschrieben = 41;
// Why a device could not be opened; %s = the device path.
inline constexpr int KeineBerechtigung = 45;
inline constexpr int Belegt = 46;
inline constexpr int GibtEsNicht = 47;
inline constexpr int KeineSerielle = 48;
inline constexpr int OeffnenFehler = 49;     // followed by the system's own text
inline constexpr int BudgetAnschluss = 50;   // a port's monthly budget exceeded
inline constexpr int BudgetSumme = 51;       // the sum's monthly budget exceeded
inline constexpr int BudgetMehrere = 52;     // several at once
inline constexpr int ProtokollUnlesbar = 53; // the charge log cannot be read
inline constexpr int ZeilenUebersprungen = 54;
// "Schreiben" refused: nothing read to write, or a port count outside 1..8 (%s).
inline constexpr int NichtGelesen = 55;
inline constexpr int AnschlussZahlUngueltig = 56;
inline constexpr int EinstellungenNichtGespeichert = 60; // a save nobody asked for failed
inline constexpr int ProtokollAbgeschnitten = 61;        // the log ended in a cut row
inline constexpr int EinstellungenUnlesbar = 62;
inline constexpr int ZeitsteuerungUebergangen = 75; // lines of the week plan passed over
inline constexpr int KeinZeitpunktDatei = 76;       // "Jetzt schreiben" without a file
inline constexpr int UebertragungLaeuft = 77;       // "Jetzt schreiben" during a transfer
// The service's refusals of a request on the bus, and its journal.
inline constexpr int BildGroesse = 80;           // an image of %s bytes
inline constexpr int AnschlussGibtEsNicht = 81;  // a counter for port %s
inline constexpr int AnschlussDoppelt = 82;      // port %s given twice
inline constexpr int ZeitpunktGibtEsNicht = 83;  // schedule entry %s
inline constexpr int LesenLaeuft = 84;           // "Lesen" during a transfer
inline constexpr int WiederErreichbar = 85;      // the exchange at %s answers again
inline constexpr int DienstLaeuftSchon = 86;     // a second winvarnod
inline constexpr int DienstNichtErreichbar = 87; // the service did not answer: %s
// The write read back, and the configuration history.
inline constexpr int GeschriebenGeprueft = 90;    // the exchange holds what was written
inline constexpr int AnlageWeichtAb = 91;         // it holds something else; %s = the changes
inline constexpr int NichtGeprueft = 92;          // it did not answer the read-back
inline constexpr int VerlaufFehler = 93;          // a configuration not kept; %s = why
inline constexpr int AnDerAnlageGeaendert = 94;   // a read found another one; %s = the changes
inline constexpr int SchonKonfiguriert = 95;      // a scheduled file the exchange has
inline constexpr int NichtWiederhergestellt = 96; // a version not loaded; %s = why
inline constexpr int WirdZurueckgelesen = 97;     // the write's read-back runs
// The window "Konfigurationsverlauf".
inline constexpr int VerlaufLeer = 100;
inline constexpr int VersionGeladen = 101;         // restored into the pages, %s = number
inline constexpr int WiederherstellenLaeuft = 103; // refused during a transfer
inline constexpr int VerlaufWeitereZeilen = 104;   // more skipped index lines than shown
// The window and the service: who has the line (%s = the port).
inline constexpr int DienstGegangen = 110;
inline constexpr int DienstGekommen = 111;
} // namespace meldung

// The severity of a message: its colour on the status line.
namespace stufe {
inline constexpr int Normal = 0;      // black, only with the empty message
inline constexpr int Fortschritt = 1; // blue
inline constexpr int Fehler = 2;      // red
} // namespace stufe

// The text of a message number; a number without an entry gives the empty text.
QString Text(int nummer);

// The text with the argument put in for its first "%s".
QString Fill(int nummer, const QString& argument);

// "digit:text" with the argument put in for "%s" (and for "%d" in message 38).
QString PanelText(int nummer, int stufe, const QString& argument);

// Why a file could not be read or written, for the user: an errno value or
// platform::kNotRegularFile.
QString DateiGrund(int error);

// The message with its argument and, unless `error` is 0, ": " and DateiGrund.
QString MitGrund(int nummer, const QString& argument, int error);

// The reason a device could not be opened, for the user (messages 45 to 49).
// The path is shown without control characters and, when very long, shortened.
QString OeffnungsGrund(serial::TPortFailure failure, const QString& geraet, int error);

} // namespace catalogue
