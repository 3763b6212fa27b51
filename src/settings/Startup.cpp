#include "settings/Startup.h"

#include "catalogue/Catalogue.h"
#include "platform/IniFile.h"

#include <QDir>
#include <climits>
#include <cmath>

namespace startup {

Switches ParseCommandLine(const QStringList& arguments) {
    Switches s;
    for (const QString& arg : arguments) {
        QString upper = arg;
        for (QChar& c : upper)
            if (c >= u'a' && c <= u'z')
                c = QChar(c.unicode() - 32);
        if (upper == u"AUTOENDE")
            s.autoEnde = true;
        else if (upper == u"ZYKLISCH")
            s.zyklisch = true;
    }
    if (s.autoEnde)
        s.zyklisch = false;
    return s;
}

std::optional<double> Geldbetrag(const QString& text) {
    QString t = text.left(10);
    if (const qsizetype comma = t.indexOf(u','); comma >= 0)
        t[comma] = u'.';
    bool ok = false;
    const double v = t.trimmed().toDouble(&ok);
    // "nan" and "inf" pass toDouble but are no price.
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double PreisAusText(const QString& text) {
    return Geldbetrag(text).value_or(0.0);
}

double KostenProEinheitAusText(const QString& text) {
    const double v = PreisAusText(text);
    return (v < 0.0 || v > 9.99) ? 0.0 : v;
}

int ZyklusSekundenAusWartezeit(int minuten) {
    if (minuten <= 0)
        return 60;
    // Keep the product in range; a period of years is as good as never.
    return minuten > INT_MAX / 60 ? INT_MAX / 60 * 60 : minuten * 60;
}

QString ZyklusBeschriftung(int zyklusSekunden) {
    if (zyklusSekunden > 60)
        return catalogue::Text(catalogue::meldung::AlleMinuten)
            .replace(QStringLiteral("%d"), QString::number(zyklusSekunden / 60));
    return catalogue::Text(catalogue::meldung::JedeMinute);
}

bool IstGueltigerPortName(const QString& name) {
    return name == u"COM1" || name == u"COM2" || name == u"COM3" || name == u"COM4";
}

QString LiesPortName(const platform::IniFile& ini) {
    return ini.readString(QStringLiteral("Allgemein"), QStringLiteral("Anschluß"),
                          QStringLiteral("COMx"));
}

QString KommunikationsProtokoll(const platform::IniFile& ini, const QString& umgebung) {
    QString pfad = umgebung.trimmed();
    if (pfad.isEmpty())
        pfad = ini.readString(QStringLiteral("Diagnose"), QStringLiteral("Protokolldatei"), {});
    if (pfad.isEmpty() || QDir::isAbsolutePath(pfad))
        return pfad;
    if (pfad.startsWith(QStringLiteral("~/")))
        pfad = pfad.mid(2);
    return QDir::home().filePath(pfad);
}

Einstellungen LiesEinstellungen(const platform::IniFile& ini) {
    Einstellungen e;
    for (int i = 0; i < kPortCount; ++i) {
        const QString key = QString::number(kFirstPort + i);
        e.bezeichnungen[i] =
            ini.readString(QStringLiteral("Bezeichnungen"), key, QString()).left(kLabelLength);
        e.alteEinheiten[i] = ini.readInt(QStringLiteral("AlteEinheiten"), key, 0);
        e.alteKosten[i] =
            PreisAusText(ini.readString(QStringLiteral("AlteKosten"), key, QStringLiteral("0,00")));
    }
    e.kostenProEinheit = KostenProEinheitAusText(ini.readString(
        QStringLiteral("Allgemein"), QStringLiteral("Kosten"), QStringLiteral("0,00")));
    e.zyklusSekunden = ZyklusSekundenAusWartezeit(
        ini.readInt(QStringLiteral("Allgemein"), QStringLiteral("Wartezeit"), 1));
    const QString fenster = QStringLiteral("Fenster");
    if (const auto x = ini.value(fenster, QStringLiteral("X-Position")))
        e.fensterX = platform::IniFile::ParseInt(*x);
    if (const auto y = ini.value(fenster, QStringLiteral("Y-Position")))
        e.fensterY = platform::IniFile::ParseInt(*y);
    for (int n = 0; n < 4; ++n) {
        const QString section = QStringLiteral("Zeitpunkt%1").arg(n + 1);
        e.zeitpunkte[n].zeit =
            ini.readString(section, QStringLiteral("Zeit"), QStringLiteral("9999"));
        e.zeitpunkte[n].datei = ini.readString(section, QStringLiteral("Datei"), QString());
    }
    return e;
}

} // namespace startup
