#pragma once

#include <QString>

// The names of the session's D-Bus interface (de.winvarno.WinVarno.Sitzung1.xml):
// the service and its client both use these.
namespace service {

inline const QString kBusName = QStringLiteral("de.winvarno.WinVarno");
inline const QString kObjektPfad = QStringLiteral("/de/winvarno/WinVarno");
inline const QString kInterface = QStringLiteral("de.winvarno.WinVarno.Sitzung1");
// Raised with every incompatible change; a new interface name goes with it.
inline constexpr unsigned kVersion = 1;

// The whole configuration image, as the window holds it.
inline constexpr int kBildGroesse = 588;

// Bits of the property Bloecke: what the image holds decoded.
inline constexpr unsigned kGrundblock = 1, kEndgeraeteblock = 2, kGebuehren = 4;

// The errors a method answers with; every one carries a German message.
namespace fehler {
inline const QString Argumente = QStringLiteral("de.winvarno.WinVarno.Fehler.Argumente");
inline const QString BildGroesse = QStringLiteral("de.winvarno.WinVarno.Fehler.BildGroesse");
inline const QString Anschluss = QStringLiteral("de.winvarno.WinVarno.Fehler.Anschluss");
inline const QString Eintrag = QStringLiteral("de.winvarno.WinVarno.Fehler.Eintrag");
inline const QString UebertragungLaeuft =
    QStringLiteral("de.winvarno.WinVarno.Fehler.UebertragungLaeuft");
inline const QString NichtGelesen = QStringLiteral("de.winvarno.WinVarno.Fehler.NichtGelesen");
inline const QString AnschlussZahl = QStringLiteral("de.winvarno.WinVarno.Fehler.AnschlussZahl");
inline const QString Firmware = QStringLiteral("de.winvarno.WinVarno.Fehler.Firmware");
inline const QString KeineDatei = QStringLiteral("de.winvarno.WinVarno.Fehler.KeineDatei");
inline const QString Schnittstelle = QStringLiteral("de.winvarno.WinVarno.Fehler.Schnittstelle");
inline const QString Einstellungen = QStringLiteral("de.winvarno.WinVarno.Fehler.Einstellungen");
} // namespace fehler

} // namespace service
