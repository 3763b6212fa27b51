#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::IniFile;
using testsupport::readAll;
using testsupport::ScratchHome;
using testsupport::writeAll;

namespace {

struct IniFixture : ::testing::Test {
    ScratchHome home;
    QString path = home.file(QStringLiteral("WinVarno.INI"));
    IniFile load(const QByteArray& bytes) {
        writeAll(path, bytes);
        return IniFile(path);
    }
};

} // namespace

TEST_F(IniFixture, NamesIgnoreCaseAndTheFirstMatchWins) {
    const IniFile ini = load("[Allgemein]\n Kosten = 0,12 \nkosten=9\nWartezeit=\"5\"\n"
                             "[allgemein]\nAnschluß=COM4\n[Fenster]\nX-Position=$1F\n");
    EXPECT_EQ(ini.readString("ALLGEMEIN", "kOsTeN", "x"), "0,12");
    EXPECT_EQ(ini.readInt("Allgemein", "Wartezeit", 1), 5);
    // The key lives only in the second, duplicate section, which is never consulted.
    EXPECT_EQ(ini.readString("Allgemein", "Anschluß", "COMx"), "COMx");
    EXPECT_EQ(ini.readInt("fenster", "x-position", 0), 31);
    EXPECT_EQ(ini.readString("Fenster", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("Nowhere", "X-Position", "dflt"), "dflt");
}

TEST_F(IniFixture, MissingFileReadsAsEmpty) {
    const IniFile ini(home.file("absent.INI"));
    EXPECT_EQ(ini.readString("Allgemein", "Anschluß", "COMx"), "COMx");
    EXPECT_EQ(ini.readInt("Allgemein", "Wartezeit", 1), 1);
    EXPECT_TRUE(ini.bytes().isEmpty());
}

TEST_F(IniFixture, AFileThatCannotBeReadIsNeverSavedOver) {
    const QByteArray mine = "[Allgemein]\nAnschluß=COM1\n; Notiz\n";
    writeAll(path, mine);
    const QByteArray file = QFile::encodeName(path), dir = QFile::encodeName(home.path());
    ASSERT_EQ(::chmod(file.constData(), 0), 0);
    ASSERT_EQ(::chmod(dir.constData(), 0777), 0); // a save could replace it
    // Root reads every file: the check runs as a user who cannot.
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        ASSERT_EQ(::seteuid(65534), 0);
    }
    IniFile ini(path);
    ini.writeString("Fenster", "X-Position", "5");
    const bool saved = ini.save();
    if (asRoot) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    ::chmod(file.constData(), 0600);
    EXPECT_FALSE(saved);
    EXPECT_EQ(readAll(path), mine);
}

TEST(IniParseInt, DecimalAndHexadecimalOnly) {
    struct Case {
        const char* text;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"12", 12},
        {"-3", -3},
        {" 7 ", 7},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$ff", 255},
        {"$7FFFFFFF", INT_MAX},
        {"abc", {}},
        {"12abc", {}},
        {"", {}},
        {"0x", {}},
        {"$", {}},
        {"1,5", {}},
        {"99999999999", {}},
        {"0x-5", {}},
        {"$-1", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IniFile::ParseInt(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST_F(IniFixture, NonIntegerValueCountsAsAbsent) {
    const IniFile ini = load("[Allgemein]\nWartezeit=fünf\n");
    EXPECT_EQ(ini.readInt("Allgemein", "Wartezeit", 1), 1);
}

TEST_F(IniFixture, RewritingOneKeyKeepsEveryOtherByte) {
    // CRLF lines, a Windows-1252 umlaut, a comment, odd spacing and no final line end.
    const QByteArray before = "; von Hand gepflegt\r\n[Allgemein]\r\nAnschlu\xdf=COM2\r\n"
                              "Kosten = 0,12   \r\n\r\n[Fenster]\r\nx-position = 10\r\n"
                              "Y-Position=20\r\n[Zeitpunkt1]\r\nZeit=0800";
    IniFile ini = load(before);
    EXPECT_EQ(ini.readString("Allgemein", QString::fromUtf8("Anschluß"), "COMx"), "COM2");
    ini.writeString("Fenster", "X-Position", "123");
    ASSERT_TRUE(ini.save());
    QByteArray expected = before;
    expected.replace("x-position = 10", "x-position=123");
    EXPECT_EQ(readAll(path), expected);
}

TEST_F(IniFixture, NewKeysJoinTheirSectionAndNewSectionsGoLast) {
    IniFile ini = load("[Fenster]\nX-Position=1\n\n[Zeitpunkt1]\nZeit=0800\n");
    ini.writeString("Fenster", "Y-Position", "2");
    ini.writeString("Zeitpunkt2", "Datei", "/home/ü/a.vrn");
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(readAll(path), QByteArray("[Fenster]\nX-Position=1\nY-Position=2\n\n"
                                        "[Zeitpunkt1]\nZeit=0800\n\n[Zeitpunkt2]\n"
                                        "Datei=/home/\xc3\xbc/a.vrn\n"));
    const IniFile again(path);
    EXPECT_EQ(again.readString("Zeitpunkt2", "Datei", ""), QString::fromUtf8("/home/ü/a.vrn"));
    EXPECT_EQ(again.readInt("Fenster", "Y-Position", 0), 2);
}

TEST_F(IniFixture, AppendingToAFileWithoutFinalLineEnd) {
    IniFile ini = load("[Fenster]\r\nX-Position=1");
    ini.writeString("Fenster", "Y-Position", "2");
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(readAll(path), QByteArray("[Fenster]\r\nX-Position=1\r\nY-Position=2\r\n"));
}

TEST_F(IniFixture, SaveIntoUnwritableDirectoryFailsAndKeepsTheOldFile) {
    const QString dir = home.file("ro");
    QDir().mkpath(dir);
    const QString file = dir + "/WinVarno.INI";
    writeAll(file, "[Fenster]\nX-Position=1\n");
    IniFile ini(file);
    ini.writeString("Fenster", "X-Position", "2");
    // A file in place of the directory makes the rename impossible even for root.
    IniFile blocked(home.file("ro/WinVarno.INI/child.INI"));
    blocked.writeString("A", "B", "C");
    EXPECT_FALSE(blocked.save());
    ::chmod(QFile::encodeName(dir).constData(), 0500);
    const bool saved = ini.save();
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    if (!saved) { // as root the directory stays writable
        EXPECT_EQ(readAll(file), QByteArray("[Fenster]\nX-Position=1\n"));
    }
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 1) << "no temporary file left behind";
}

TEST_F(IniFixture, SaveThroughALinkKeepsTheLink) {
    const QString real = home.file("real.INI");
    writeAll(real, "[Fenster]\nX-Position=1\n");
    ASSERT_TRUE(QFile::link(real, path));
    IniFile ini(path);
    ini.writeString("Fenster", "X-Position", "5");
    ASSERT_TRUE(ini.save());
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readAll(real), QByteArray("[Fenster]\nX-Position=5\n"));
}

TEST(IniDecode, Utf8OrWindows1252PerLine) {
    EXPECT_EQ(platform::DecodeLine("Anschlu\xc3\x9f"), QString::fromUtf8("Anschluß"));
    EXPECT_EQ(platform::DecodeLine("Anschlu\xdf"), QString::fromUtf8("Anschluß"));
    EXPECT_EQ(platform::DecodeLine("\x80 \x9f"), QString::fromUtf8("€ Ÿ"));
}

TEST(IniPath, FollowsXdgConfigHome) {
    ScratchHome home;
    EXPECT_EQ(IniFile::SettingsPath(), home.path() + "/WinVarno.INI");
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(IniFile::SettingsPath(), QDir::homePath() + "/.config/WinVarno.INI");
}
