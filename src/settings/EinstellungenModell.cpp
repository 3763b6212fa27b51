#include "settings/EinstellungenModell.h"

#include "catalogue/Catalogue.h"
#include "platform/IniFile.h"
#include "serial/PortName.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <climits>

namespace einstellungen {
namespace {

const QString kAllgemein = QStringLiteral("Allgemein");
const QString kSchnittstellenSektion = QStringLiteral("Schnittstellen");
const QString kBezeichnungen = QStringLiteral("Bezeichnungen");

QString PortName(int index) {
    return QStringLiteral("COM%1").arg(index + 1);
}

QString PortKey(int port) {
    return QString::number(startup::kFirstPort + port);
}

bool HatSteuerzeichen(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

QString Geraet(const platform::IniFile& ini, int index) {
    return serial::ResolveCommPort(PortName(index), [&](const QString& key) {
        return ini.value(kSchnittstellenSektion, key);
    });
}

double Kosten(const platform::IniFile& ini) {
    return startup::KostenProEinheitAusText(
        ini.readString(kAllgemein, QStringLiteral("Kosten"), QStringLiteral("0,00")));
}

int Wartezeit(const platform::IniFile& ini) {
    return startup::ZyklusSekundenAusWartezeit(
               ini.readInt(kAllgemein, QStringLiteral("Wartezeit"), 1)) /
           60;
}

// As few decimals as show the price exactly, at least two, with a comma.
QString KostenText(double kosten) {
    QString text = QString::number(kosten, 'f', 2);
    if (text.toDouble() != kosten) {
        text = QString::number(kosten, 'f', 8);
        while (text.endsWith(u'0') && text.indexOf(u'.') < text.size() - 3)
            text.chop(1);
    }
    return text.replace(u'.', u',');
}

QString KostenNormal(const QString& text) {
    return text.trimmed().replace(u'.', u',');
}

std::optional<QString> GeraetFehler(const QString& pfad, const TGeraetePruefung& pruefung) {
    if (pfad.isEmpty())
        return QStringLiteral("Gerät: bitte den Pfad der Schnittstelle angeben, etwa /dev/ttyUSB0");
    if (HatSteuerzeichen(pfad))
        return QStringLiteral("Gerät: der Pfad enthält Steuerzeichen");
    if (!pfad.startsWith(u'/'))
        return QStringLiteral("Gerät: der Pfad muss mit / beginnen, etwa /dev/ttyUSB0");
    if (QFile::encodeName(pfad).size() >= PATH_MAX)
        return QStringLiteral("Gerät: der Pfad ist zu lang (höchstens %1 Zeichen)")
            .arg(PATH_MAX - 1);
    if (!pruefung)
        return std::nullopt;
    const serial::TProbeResult r = pruefung(pfad);
    switch (r.failure) {
    case serial::TPortFailure::None:
    case serial::TPortFailure::NoPermission: // the open will say so, with the advice
    case serial::TPortFailure::Busy:         // perhaps by this program itself
        return std::nullopt;
    default:
        return catalogue::OeffnungsGrund(r.failure, pfad, r.error);
    }
}

} // namespace

int TWerte::AnschlussIndex() const {
    for (int i = 0; i < kSchnittstellen; ++i)
        if (anschluss == PortName(i))
            return i;
    return -1;
}

QString StandardGeraet(int index) {
    return serial::ResolveCommPort(PortName(index), {});
}

TWerte Lies(const platform::IniFile& ini) {
    TWerte w;
    w.anschluss = startup::LiesPortName(ini);
    for (int i = 0; i < kSchnittstellen; ++i)
        w.geraete[i] = Geraet(ini, i);
    w.kosten = KostenText(Kosten(ini));
    w.wartezeit = QString::number(Wartezeit(ini));
    for (int p = 0; p < kPorts; ++p)
        w.bezeichnungen[p] =
            ini.readString(kBezeichnungen, PortKey(p), QString()).left(startup::kLabelLength);
    return w;
}

std::optional<TFehler> Pruefe(const TWerte& werte, const TGeraetePruefung& pruefung) {
    const int index = werte.AnschlussIndex();
    if (index < 0)
        return TFehler{TFeld::Schnittstelle, 0,
                       QStringLiteral("Schnittstelle: bitte COM1, COM2, COM3 oder COM4 wählen")};
    if (auto grund = GeraetFehler(werte.geraete[index].trimmed(), pruefung))
        return TFehler{TFeld::Geraet, 0, *grund};

    const QString kosten = werte.kosten.trimmed();
    static const QRegularExpression betrag(QStringLiteral("^[0-9]+([,.][0-9]+)?$"));
    if (!betrag.match(kosten).hasMatch())
        return TFehler{TFeld::Kosten, 0,
                       QStringLiteral("Kosten pro Einheit: bitte einen Betrag wie 0,12 eingeben")};
    if (kosten.size() > kKostenZeichen)
        return TFehler{
            TFeld::Kosten, 0,
            QStringLiteral("Kosten pro Einheit: höchstens %1 Zeichen").arg(kKostenZeichen)};
    if (startup::PreisAusText(kosten) > 9.99)
        return TFehler{TFeld::Kosten, 0, QStringLiteral("Kosten pro Einheit: höchstens 9,99")};

    static const QRegularExpression minuten(QStringLiteral("^[0-9]{1,4}$"));
    const QString wartezeit = werte.wartezeit.trimmed();
    if (!minuten.match(wartezeit).hasMatch() || wartezeit.toInt() < 1 ||
        wartezeit.toInt() > kWartezeitMax)
        return TFehler{TFeld::Wartezeit, 0,
                       QStringLiteral("Wartezeit: bitte ganze Minuten von 1 bis %1 eingeben")
                           .arg(kWartezeitMax)};

    for (int p = 0; p < kPorts; ++p) {
        const QString text = werte.bezeichnungen[p].trimmed();
        if (text.size() > startup::kLabelLength)
            return TFehler{TFeld::Bezeichnung, p,
                           QStringLiteral("Bezeichnung %1: höchstens %2 Zeichen")
                               .arg(PortKey(p))
                               .arg(startup::kLabelLength)};
        if (HatSteuerzeichen(text))
            return TFehler{TFeld::Bezeichnung, p,
                           QStringLiteral("Bezeichnung %1: keine Steuerzeichen").arg(PortKey(p))};
    }
    return std::nullopt;
}

bool Schreibe(platform::IniFile& ini, const TWerte& werte) {
    const TWerte alt = Lies(ini);
    bool geaendert = false;
    auto setze = [&](const QString& section, const QString& key, const QString& value) {
        ini.writeString(section, key, value);
        geaendert = true;
    };
    const QString anschluss = werte.anschluss.trimmed();
    if (anschluss != alt.anschluss)
        setze(kAllgemein, QStringLiteral("Anschluß"), anschluss);
    if (const int i = werte.AnschlussIndex();
        i >= 0 && werte.geraete[i].trimmed() != alt.geraete[i])
        setze(kSchnittstellenSektion, PortName(i), werte.geraete[i].trimmed());
    const QString kosten = KostenNormal(werte.kosten);
    if (startup::PreisAusText(kosten) != Kosten(ini))
        setze(kAllgemein, QStringLiteral("Kosten"), kosten);
    const int wartezeit = werte.wartezeit.trimmed().toInt();
    if (wartezeit != Wartezeit(ini))
        setze(kAllgemein, QStringLiteral("Wartezeit"), QString::number(wartezeit));
    for (int p = 0; p < kPorts; ++p)
        if (werte.bezeichnungen[p].trimmed() != alt.bezeichnungen[p])
            setze(kBezeichnungen, PortKey(p), werte.bezeichnungen[p].trimmed());
    return geaendert;
}

std::optional<QString> Speichere(const QString& pfad, const TWerte& werte) {
    // A file that exists but cannot be read would be replaced by the dialog's keys alone.
    platform::IniFile ini(pfad);
    if (ini.unreadable())
        return QStringLiteral("Die Einstellungsdatei %1 kann nicht gelesen werden: %2")
            .arg(pfad, catalogue::DateiGrund(ini.error()));
    if (Schreibe(ini, werte) && !ini.save())
        return QStringLiteral("Die Einstellungen können nicht in %1 gespeichert werden: %2")
            .arg(pfad, catalogue::DateiGrund(ini.error()));
    return std::nullopt;
}

} // namespace einstellungen
