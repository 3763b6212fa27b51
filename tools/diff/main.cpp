// winvarno-diff A B: what changed in the configuration from A to B, one line per
// change in the words of WinVarno's pages. A and B are parameter files, or "@N" for
// version N of the configuration history. Exit status as diff(1): 0 equal, 1
// different, 2 trouble.
#include "charges/ChargeReport.h"
#include "config/ConfigDiff.h"
#include "config/ConfigHistory.h"
#include "platform/IniFile.h"
#include "platform/QtTexte.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTranslator>
#include <cstdio>
#include <optional>

namespace {

constexpr int Equal = 0, Different = 1, Trouble = 2;

void Ausgabe(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void Fehler(const QString& text) {
    std::fprintf(stderr, "winvarno-diff: %s\n", text.toUtf8().constData());
}

config::ConfigHistory& History() {
    static config::ConfigHistory history = [] {
        config::ConfigHistory h(config::ConfigHistory::DefaultDirectory());
        h.Open();
        for (const QString& problem : h.Problems())
            Fehler(problem);
        return h;
    }();
    return history;
}

// A parameter file of exactly 588 bytes: a longer or shorter file is no image of the
// exchange, whatever the program would make of it.
std::optional<config::ConfigImage> ReadImage(const QString& argument) {
    if (argument.startsWith(u'@')) {
        bool ok = false;
        const int id = argument.mid(1).toInt(&ok);
        if (!ok) {
            Fehler(QStringLiteral("%1 ist keine Versionsnummer").arg(argument));
            return std::nullopt;
        }
        QString reason;
        std::optional<config::ConfigImage> image = History().Load(id, &reason);
        if (!image)
            Fehler(reason);
        return image;
    }
    QFile file(argument);
    if (!file.open(QIODevice::ReadOnly)) {
        Fehler(QStringLiteral("Datei %1 kann nicht gelesen werden: %2")
                   .arg(argument, file.errorString()));
        return std::nullopt;
    }
    QByteArray bytes;
    // Pipes hand out less than asked; read to the end, but never more than one byte
    // past an image.
    while (bytes.size() <= config::ConfigImage::Size) {
        const QByteArray chunk = file.read(config::ConfigImage::Size + 1 - bytes.size());
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (file.error() != QFileDevice::NoError) {
        Fehler(QStringLiteral("Datei %1 kann nicht gelesen werden: %2")
                   .arg(argument, file.errorString()));
        return std::nullopt;
    }
    if (bytes.size() != config::ConfigImage::Size) {
        Fehler(QStringLiteral("Datei %1 hat %2 Bytes, eine Parameterdatei hat %3")
                   .arg(argument, bytes.size() > config::ConfigImage::Size
                                      ? QStringLiteral("mehr als 588")
                                      : QString::number(bytes.size()))
                   .arg(config::ConfigImage::Size));
        return std::nullopt;
    }
    config::ConfigImage image;
    std::copy(bytes.begin(), bytes.end(), image.Bytes().begin());
    return image;
}

int ListHistory() {
    const config::ConfigHistory& history = History();
    for (const config::HistoryVersion& v : history.Versions())
        Ausgabe(QStringLiteral("@%1  %2  %3  %4")
                    .arg(v.id)
                    .arg(v.time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                         config::OriginText(v.origin, v.detail), history.FilePath(v)));
    return history.Problems().isEmpty() ? Equal : Trouble;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("winvarno-diff"));
    QTranslator qtTexte;
    platform::DeutscheQtTexte(qtTexte);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Was sich von Konfiguration A zu Konfiguration B geändert hat, in den "
                       "Worten der Seiten von WinVarno.\nA und B sind Parameterdateien oder @N "
                       "für Version N des Konfigurationsverlaufs."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption list(QStringLiteral("history"),
                                  QStringLiteral("Die Versionen des Konfigurationsverlaufs."));
    const QCommandLineOption noNames(QStringLiteral("no-names"),
                                     QStringLiteral("Anschlüsse ohne ihre Bezeichnungen."));
    parser.addOptions({list, noNames});
    parser.addPositionalArgument(QStringLiteral("A"), QStringLiteral("Die frühere Konfiguration."));
    parser.addPositionalArgument(QStringLiteral("B"), QStringLiteral("Die spätere Konfiguration."));
    // process() would end with status 1, which here means "different".
    if (!parser.parse(QCoreApplication::arguments())) {
        Fehler(parser.errorText());
        return Trouble;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return Equal;
    }
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(list)) {
        if (!files.isEmpty()) {
            Fehler(QStringLiteral("--history nimmt keine Dateien"));
            return Trouble;
        }
        return ListHistory();
    }
    if (files.size() != 2) {
        Fehler(QStringLiteral("zwei Konfigurationen erwartet, nicht %1; --help zeigt die Aufrufe")
                   .arg(files.size()));
        return Trouble;
    }
    const std::optional<config::ConfigImage> before = ReadImage(files[0]);
    const std::optional<config::ConfigImage> after = ReadImage(files[1]);
    if (!before || !after)
        return Trouble;

    config::PortNames names;
    if (!parser.isSet(noNames))
        names = charges::ReadPortNames(platform::IniFile(platform::IniFile::SettingsPath()));
    const std::vector<config::ConfigChange> changes =
        config::CompareConfigurations(*before, *after, names);
    for (const config::ConfigChange& change : changes)
        Ausgabe(change.text);
    std::fflush(stdout);
    return changes.empty() ? Equal : Different;
}
