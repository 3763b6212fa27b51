// Files the user owns in odd states: the window starts, reads and saves without
// losing or cutting a byte of them.
#include "support/WindowFixture.h"

#include "charges/ChargeLog.h"
#include "config/ParameterFile.h"
#include "desktop/UWMMsg.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::readAll;
using testsupport::writeAll;

namespace {

QByteArray Antwort(const QByteArray& data) {
    return WindowFixture::DeviceAnswer(data);
}

QStringList EntriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

struct BadFiles : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    QString chosen; // what the file dialog answers

    void start(const QString& programPath = {}) {
        w.reset(); // one instance at a time
        TUmgebung env = umgebung();
        env.dateiDialog = [this](QFileDialog*) { return chosen; };
        if (!programPath.isEmpty())
            env.programPath = programPath;
        w = std::make_unique<THauptFenster>(env);
        ASSERT_FALSE(w->terminated());
    }
    // One complete read: firmware 1.93, eight ports, these counters.
    void lese(std::array<int, 8> units) {
        QByteArray basic(113, '\0');
        basic[2] = 8;
        basic[4] = 1;
        basic[5] = 93;
        QByteArray charges(132, '\0');
        for (int p = 0; p < 8; ++p) {
            charges[1 + 2 * p] = char(units[p] & 0xFF);
            charges[2 + 2 * p] = char(units[p] >> 8);
        }
        w->LesenButtonClick(); // the start-up read is still waiting the first time
        for (const QByteArray& answer :
             {Antwort(basic), Antwort(QByteArray(195, '\0')), Antwort(charges)})
            line->Deliver(answer);
        ASSERT_FALSE(w->Sitzung().Transfer().Busy());
    }
    void moveTo(int x, int y) {
        w->move(x, y);
        TMessage moved{WM_MOVE, 0, 0, 0};
        w->OnMessage(moved);
    }
    QByteArray row(std::array<int, 8> units) {
        int sum = 0;
        for (int u : units)
            sum += u;
        return charges::LogRow(now, units, sum);
    }
};

// --- the settings file ---

TEST_F(BadFiles, GarbageAndBinaryBytesInTheSettingsFile) {
    const QByteArray before = QByteArray("\xEF\xBB\xBF") + "Müll ohne Gleichheitszeichen\n" +
                              "[Allgemein-alt\n=ohne Schlüssel\n" +
                              QByteArray("\0\xFF\xFE[x]\0\n", 8) + "[Allgemein]\nAnschluß=COM3\n" +
                              QByteArray("Kosten=\xFF\0 12\n", 13) + "Wartezeit=\x01\x02\n" +
                              QByteArray("Bin\0\xFF=\0\n", 8) + "[Bezeichnungen]\n" +
                              QByteArray("21=B\xFCro\0Fax\n", 12) + "\r\r\n\xFF";
    settings(before);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(calls.value(0), "open COM3") << "the first valid section still counts";
    EXPECT_EQ(w->Sitzung().KostenProEinheit(), 0.0) << "not a number: the default";
    EXPECT_EQ(w->Sitzung().ZyklusSekunden(), 60);
    EXPECT_TRUE(BezeichnungTabelleA(*w, 0)->text().startsWith(QString::fromUtf8("Büro")));

    moveTo(33, 44);
    const QByteArray after = readAll(settingsPath());
    ASSERT_TRUE(after.startsWith(before)) << "every byte before the new section kept";
    const platform::IniFile ini(settingsPath());
    EXPECT_EQ(ini.readInt("Fenster", "X-Position", 0), 33);
    EXPECT_EQ(ini.readInt("Fenster", "Y-Position", 0), 44);
}

TEST_F(BadFiles, MegabyteLinesInTheSettingsFile) {
    const QByteArray mb(1 << 20, 'x');
    const QByteArray before = "; " + mb + "\n[" + mb + "]\n" + mb +
                              "=1\n[Bezeichnungen]\n21=" + mb + "\n[Allgemein]\nKosten=0," +
                              QByteArray(1 << 20, '1') +
                              "\nAnschluß=COM4\n[Fenster]\nX-Position=5\n";
    settings(before);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(calls.value(0), "open COM4");
    EXPECT_EQ(BezeichnungTabelleA(*w, 0)->text(), QString(40, u'x')) << "first 40 characters";

    moveTo(33, 44);
    QByteArray expected = before;
    expected.replace("X-Position=5\n", "X-Position=33\nY-Position=44\n");
    EXPECT_TRUE(readAll(settingsPath()) == expected);
}

TEST_F(BadFiles, DuplicateSectionsFirstMatchWinsAndOnlyItChanges) {
    const QByteArray before = "[Fenster]\nX-Position=5\nY-Position=6\n"
                              "[Allgemein]\nAnschluß=COM2\nKosten=0,10\n"
                              "[allgemein]\nAnschluß=COM3\nKosten=0,20\nWartezeit=7\n"
                              "[FENSTER]\nX-Position=500\nY-Position=600\n"
                              "[Fenster]\nX-Position=700\n";
    settings(before);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(calls.value(0), "open COM2");
    EXPECT_DOUBLE_EQ(w->Sitzung().KostenProEinheit(), 0.10);
    EXPECT_EQ(w->Sitzung().ZyklusSekunden(), 60) << "a key of a later duplicate is not looked at";
    EXPECT_EQ(w->x(), 5);

    moveTo(33, 44);
    QByteArray expected = before;
    expected.replace("X-Position=5\nY-Position=6\n", "X-Position=33\nY-Position=44\n");
    EXPECT_EQ(readAll(settingsPath()), expected);
}

// --- the charge log ---

TEST_F(BadFiles, ChargeLogThatIsADirectoryIsLeftAlone) {
    settings("[Allgemein]\nAnschluß=COM1\n");
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(QDir().mkpath(w->Sitzung().ChargeLogPath()));
    writeAll(w->Sitzung().ChargeLogPath() + "/notiz.txt", "meins");
    ASSERT_NO_FATAL_FAILURE(lese({5, 0, 0, 0, 0, 0, 0, 0}));
    const QString gesagt =
        QString::fromUtf8("2:Gebührenprotokoll %1 kann nicht geschrieben werden: "
                          "keine gewöhnliche Datei")
            .arg(w->Sitzung().ChargeLogPath());
    EXPECT_EQ(w->statusText(0), gesagt);
    ASSERT_NO_FATAL_FAILURE(lese({6, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(w->statusText(0), gesagt) << "it stays until a row is written again";
    EXPECT_EQ(EinheitenTabelle(*w, 0)->text(), "6");
    EXPECT_TRUE(QFileInfo(w->Sitzung().ChargeLogPath()).isDir());
    EXPECT_EQ(EntriesOf(w->Sitzung().ChargeLogPath()), QStringList{"notiz.txt"});
    EXPECT_EQ(readAll(w->Sitzung().ChargeLogPath() + "/notiz.txt"), "meins");
    EXPECT_FALSE(QFile::exists(w->Sitzung().ChargeBackupPath()));
}

TEST_F(BadFiles, ReadOnlyChargeLogLosesNothing) {
    settings("[Allgemein]\nAnschluß=COM1\n");
    ASSERT_NO_FATAL_FAILURE(start());
    const QByteArray before = charges::LogHeader() + row({5, 0, 0, 0, 0, 0, 0, 0});
    writeAll(w->Sitzung().ChargeLogPath(), before);
    ASSERT_EQ(::chmod(QFile::encodeName(w->Sitzung().ChargeLogPath()).constData(), 0444), 0);
    ASSERT_NO_FATAL_FAILURE(lese({9, 0, 0, 0, 0, 0, 0, 0}));

    const QByteArray after = readAll(w->Sitzung().ChargeLogPath());
    EXPECT_TRUE(after.startsWith(before));
    if (::geteuid() != 0) {
        EXPECT_EQ(after, before) << "nobody but root may write it";
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(w->Sitzung().ChargeLogPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u) << "the mode stays";
}

TEST_F(BadFiles, ChargeLogWhoseDirectoryIsAFileIsNeverCreated) {
    // As root no mode bit stops a write: a file where the directory should be does.
    const QString blocker = home.file("Ablage");
    const QByteArray mine = "keine Ablage\n";
    writeAll(blocker, mine);
    settings("[Allgemein]\nAnschluß=COM1\n");
    ASSERT_NO_FATAL_FAILURE(start());
    w->Sitzung().SetzeProtokollPfade(blocker + "/WinVarno.dat", blocker + "/WinVarno.bak");
    const QStringList entries = EntriesOf(home.path());

    ASSERT_NO_FATAL_FAILURE(lese({3, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_NO_FATAL_FAILURE(lese({4, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(EinheitenTabelle(*w, 0)->text(), "4");
    EXPECT_EQ(readAll(blocker), mine);
    QStringList after = EntriesOf(home.path());
    if (!entries.contains("WinVarno"))
        after.removeOne("WinVarno"); // the configuration history's folder, made by the read
    EXPECT_EQ(after, entries) << "no temporary file left behind";
}

TEST_F(BadFiles, HandEditedChargeLogsKeepEveryByte) {
    const QByteArray header = charges::LogHeader();
    const QByteArray last = row({7, 0, 0, 0, 0, 0, 0, 0});
    const struct {
        const char* what;
        QByteArray log;
    } cases[] = {
        {"without a final line end", header + last.left(92)},
        {"a note as the last line", header + last + "Zähler am 6.12. getauscht\r\n"},
        {"binary bytes and a lone CR", header + last + QByteArray("\0\xFF\r", 3)},
        {"digits edited apart", header + QByteArray(last).replace("     7 |", "   7 x |")},
        {"LF line ends only", QByteArray(header + last).replace("\r\n", "\n")},
    };
    settings("[Allgemein]\nAnschluß=COM1\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(start());
        writeAll(w->Sitzung().ChargeLogPath(), c.log);
        QFile::remove(w->Sitzung().ChargeBackupPath());
        ASSERT_NO_FATAL_FAILURE(lese({9999, 0, 0, 0, 0, 0, 0, 0}));

        const QByteArray after = readAll(w->Sitzung().ChargeLogPath());
        EXPECT_TRUE(after.startsWith(c.log)) << after.toStdString();
        EXPECT_TRUE(after.endsWith(row({9999, 0, 0, 0, 0, 0, 0, 0})));
        EXPECT_LE(after.size() - c.log.size(), 2 + 94) << "one row, on a line of its own";
        EXPECT_EQ(readAll(w->Sitzung().ChargeBackupPath()), c.log)
            << "the backup is the log as it was";
    }
}

TEST_F(BadFiles, ALogEndingInACutRowIsSaidOnce) {
    settings("[Allgemein]\nAnschluß=COM1\n");
    ASSERT_NO_FATAL_FAILURE(start());
    const QByteArray before = charges::LogHeader() + row({7, 0, 0, 0, 0, 0, 0, 0});
    writeAll(w->Sitzung().ChargeLogPath(), before + row({8, 0, 0, 0, 0, 0, 0, 0}).left(30));
    ASSERT_NO_FATAL_FAILURE(lese({9, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Gebührenprotokoll %1 endete in einer abgeschnittenen Zeile")
                  .arg(w->Sitzung().ChargeLogPath()));
    EXPECT_EQ(DiffTabelle(*w, 0)->text(), "(+2)") << "counted from the last whole row";
    ASSERT_NO_FATAL_FAILURE(lese({9, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(w->statusText(0), "0:");
}

// --- parameter files ---

TEST_F(BadFiles, ParameterFilesOfTheWrongSize) {
    settings("[Allgemein]\nAnschluß=COM1\n");
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(lese({1, 2, 3, 4, 5, 6, 7, 8}));
    config::ConfigImage other = w->Sitzung().Image();
    other.SetMsnText(0, u"5550199");
    const QString good = home.file("gut.vrn");
    ASSERT_TRUE(config::SaveParameterFile(good, other));
    const QByteArray bytes = readAll(good);
    ASSERT_EQ(bytes.size(), 588);
    const config::ConfigImage read = w->Sitzung().Image();
    for (int size : {0, 587}) {
        chosen = home.file(QString("kurz%1.vrn").arg(size));
        writeAll(chosen, bytes.left(size));
        Control<QPushButton>(*w, "OeffnenButton")->click();
        EXPECT_TRUE(w->statusText(0).startsWith("2:")) << size;
        EXPECT_TRUE(w->statusText(0).contains(chosen)) << size;
        EXPECT_TRUE(w->Sitzung().Image() == read) << size;
        EXPECT_EQ(readAll(chosen), bytes.left(size)) << size;
    }
    chosen = home.file("lang.vrn");
    writeAll(chosen, bytes + '\x5A');
    Control<QPushButton>(*w, "OeffnenButton")->click();
    EXPECT_EQ(MSNTabelle(*w, 0)->text(), "5550199") << "the first 588 bytes count";
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(8), 8) << "the exchange's counters stay";
    EXPECT_EQ(readAll(chosen), bytes + '\x5A');
}

// Saves nobody asked for, and "Speichern...", on a full disk: the files keep every
// byte and the status line says why in red.
TEST_F(BadFiles, AFullDiskKeepsEveryFileAndIsSaid) {
    QByteArray mine = "[Allgemein]\r\nAnschlu\xc3\x9f=COM1\r\n[Bezeichnungen]\r\n";
    for (int i = 0; i < 300; ++i)
        mine += "; Notiz " + QByteArray::number(i) + "\r\n";
    settings(mine);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(lese({1, 0, 0, 0, 0, 0, 0, 0})); // from now on moves are saved
    chosen = home.file("tag.vrn");
    writeAll(chosen, QByteArray(588, 'x'));
    const QStringList entries = EntriesOf(home.path());
    const QString voll = QString::fromUtf8("Datei zu groß");
    {
        testsupport::FileSizeLimit full(0);
        moveTo(40, 50);
        EXPECT_EQ(w->statusText(0),
                  QString::fromUtf8("2:Einstellungsdatei %1 kann nicht gespeichert werden: %2")
                      .arg(settingsPath(), voll));
        w->ZeigeMeldung(meldung::Keine, stufe::Normal);
        w->OnUhrzeitClick(0);
        EXPECT_TRUE(w->statusText(0).startsWith("2:Einstellungsdatei")) << "a schedule field";
        Control<QPushButton>(*w, "SpeichernButton")->click();
        EXPECT_EQ(
            w->statusText(0),
            QString::fromUtf8("2:Datei %1 konnte nicht gespeichert werden: %2").arg(chosen, voll));
    }
    EXPECT_EQ(readAll(settingsPath()), mine);
    EXPECT_EQ(readAll(chosen), QByteArray(588, 'x'));
    EXPECT_EQ(EntriesOf(home.path()), entries) << "no temporary file left behind";
}

// A FIFO in place of the settings file or a parameter file: refused with the
// reason at once, instead of a window that waits for a writer forever.
TEST_F(BadFiles, FifosAreRefusedWithTheirReason) {
    ASSERT_TRUE(testsupport::makeFifo(settingsPath()));
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Einstellungsdatei %1 kann nicht gelesen werden: "
                                "keine gewöhnliche Datei")
                  .arg(settingsPath()));
    chosen = home.file("fifo.vrn");
    ASSERT_TRUE(testsupport::makeFifo(chosen));
    Control<QPushButton>(*w, "OeffnenButton")->click();
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Datei %1 konnte nicht geöffnet werden: keine gewöhnliche Datei")
                  .arg(chosen));
    EXPECT_FALSE(QFileInfo(settingsPath()).isFile());
}

TEST_F(BadFiles, SaveWhereNoFileCanBeMadeKeepsEverything) {
    settings("[Allgemein]\nAnschluß=COM1\n");
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(lese({1, 0, 0, 0, 0, 0, 0, 0}));

    // As root no mode bit stops a write: a file where the directory should be does.
    writeAll(home.file("ordner"), "eine Datei");
    // A directory where the file should be, with the user's things in it.
    QDir().mkpath(home.file("ziel.vrn"));
    writeAll(home.file("ziel.vrn/inhalt"), "meins");
    const QStringList entries = EntriesOf(home.path());
    for (const QString& path : {home.file("ordner/neu.vrn"), home.file("ziel.vrn")}) {
        SCOPED_TRACE(path.toStdString());
        chosen = path;
        Control<QPushButton>(*w, "SpeichernButton")->click();
        EXPECT_TRUE(w->statusText(0).startsWith("2:"));
        EXPECT_TRUE(w->statusText(0).contains(path));
        EXPECT_TRUE(Control<QPushButton>(*w, "LesenButton")->isEnabled());
    }
    EXPECT_EQ(readAll(home.file("ordner")), "eine Datei");
    EXPECT_EQ(readAll(home.file("ziel.vrn/inhalt")), "meins");
    EXPECT_EQ(EntriesOf(home.file("ziel.vrn")), QStringList{"inhalt"});
    EXPECT_EQ(EntriesOf(home.path()), entries) << "no temporary file left behind";
}

} // namespace
