#include "Report.h"

#include "catalogue/Catalogue.h"
#include "platform/IniFile.h"
#include "platform/ProgramFiles.h"
#include "platform/QtTexte.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace report {
namespace {

void Ausgabe(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// A day given as YYYY-MM-DD; a null date when the option is not given, nullopt
// when it is no date.
std::optional<QDate> Datum(const QCommandLineParser& parser, const QString& option) {
    if (!parser.isSet(option))
        return QDate();
    const QDate d = QDate::fromString(parser.value(option), QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid()) {
        Fehler(
            QStringLiteral("--%1: %2 ist kein Datum JJJJ-MM-TT").arg(option, parser.value(option)));
        return std::nullopt;
    }
    return d;
}

} // namespace

std::optional<QByteArray> ChartFormat(const QString& path) {
    const QByteArray ext = QFileInfo(path).suffix().toLower().toLatin1();
    if (ext == "png" || ext == "svg" || ext == "pdf")
        return ext;
    return std::nullopt;
}

QString LeeresDiagramm(const std::vector<charges::PeriodCosts>& rows) {
    const auto alle = [&](auto null) { return std::all_of(rows.begin(), rows.end(), null); };
    if (rows.empty())
        return QStringLiteral("--plot: das Diagramm bleibt leer, im Zeitraum gibt es keine Zeile");
    if (!alle([](const charges::PeriodCosts& r) { return r.costSum() == 0; }))
        return QString();
    if (alle([](const charges::PeriodCosts& r) { return r.unitsSum() == 0; }))
        return QStringLiteral(
            "--plot: das Diagramm bleibt leer, im Zeitraum wurden keine Einheiten gezählt");
    return QStringLiteral("--plot: das Diagramm bleibt leer, alle Kosten sind 0,00: in den "
                          "Einstellungen ist kein Preis je Einheit eingetragen (\"Kosten\" in "
                          "[Allgemein] oder [Tarife])");
}

void Fehler(const QString& text) {
    std::fprintf(stderr, "winvarno-report: %s\n", text.toUtf8().constData());
}

int Run(QCoreApplication& app, const Zeichner& zeichne) {
    QCoreApplication::setApplicationName(QStringLiteral("winvarno-report"));
    QTranslator qtTexte;
    platform::DeutscheQtTexte(qtTexte);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Einheiten und Kosten je Zeitraum und Anschluß aus dem Gebührenprotokoll "
                       "von WinVarno."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("log"), QStringLiteral("Das Gebührenprotokoll (sonst das von WinVarno)."),
         QStringLiteral("DATEI")},
        {QStringLiteral("period"), QStringLiteral("day, month (Vorgabe) oder year."),
         QStringLiteral("ZEITRAUM"), QStringLiteral("month")},
        {QStringLiteral("from"), QStringLiteral("Erster Tag, JJJJ-MM-TT."),
         QStringLiteral("DATUM")},
        {QStringLiteral("to"), QStringLiteral("Letzter Tag, JJJJ-MM-TT."), QStringLiteral("DATUM")},
        {QStringLiteral("csv"), QStringLiteral("CSV für Tabellenkalkulationen statt der Tabelle.")},
        {QStringLiteral("plot"),
         QStringLiteral("Das Diagramm in eine PNG-, SVG- oder PDF-Datei (nach der Endung)."),
         QStringLiteral("DATEI")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        Fehler(
            QStringLiteral("unerwartetes Argument %1").arg(parser.positionalArguments().front()));
        return 2;
    }
    const QString periodName = parser.value(QStringLiteral("period"));
    const std::optional<charges::Period> period = charges::PeriodFromName(periodName);
    if (!period) {
        Fehler(QStringLiteral("--period: day, month oder year, nicht %1").arg(periodName));
        return 2;
    }
    const std::optional<QDate> from = Datum(parser, QStringLiteral("from"));
    const std::optional<QDate> to = Datum(parser, QStringLiteral("to"));
    if (!from || !to)
        return 2;
    const QString plot = parser.value(QStringLiteral("plot"));
    if (parser.isSet(QStringLiteral("plot")) && !ChartFormat(plot)) {
        Fehler(QStringLiteral("--plot: die Endung von %1 ist nicht png, svg oder pdf").arg(plot));
        return 2;
    }

    // Where WinVarno itself keeps them: the program lies beside this tool, in a
    // build tree as when installed.
    const QString program =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("WinVarno"));
    const QString log = parser.isSet(QStringLiteral("log"))
                            ? parser.value(QStringLiteral("log"))
                            : platform::programfiles::DataFile(program, QStringLiteral(".dat"));
    const std::optional<charges::THistory> history = charges::ReadHistory(log);
    if (!history) {
        Fehler(catalogue::Fill(catalogue::meldung::ProtokollUnlesbar, log));
        return 1;
    }
    if (const QString note = charges::SkippedNote(*history); !note.isEmpty())
        Fehler(note);

    const platform::IniFile ini(platform::IniFile::SettingsPath());
    const auto names = charges::ReadPortNames(ini);
    const std::vector<charges::PeriodCosts> rows =
        charges::Aggregate(*history, *period, charges::ReadTarife(ini), *from, *to);
    if (parser.isSet(QStringLiteral("csv")))
        Ausgabe(charges::ToCsv(rows, names));
    else
        Ausgabe(charges::ToTable(rows, charges::DecimalPoint()).toUtf8());
    if (parser.isSet(QStringLiteral("plot"))) {
        if (const QString leer = LeeresDiagramm(rows); !leer.isEmpty())
            Fehler(leer);
        if (!(zeichne && zeichne(rows, names, *period, plot)))
            return 1;
    }
    return 0;
}

} // namespace report
