#include "platform/UserFile.h"
#include "platform/FileCopy.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testsupport::FileSizeLimit;
using testsupport::readAll;
using testsupport::ScratchHome;
using testsupport::writeAll;

namespace {

QStringList EntriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

QByteArray Lines(int count, char fill) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "Zeile" + QByteArray::number(i) + '=' + QByteArray(20, fill) + "\r\n";
    return bytes;
}

} // namespace

// A full disk at the first byte (the file used to be emptied) and in the middle of
// a line (it used to be cut at a page): the old bytes stay, nothing is left beside.
TEST(ReplaceFile, AFullDiskKeepsTheOldBytesAndTheirMode) {
    ScratchHome home;
    const QString path = home.file("Datei");
    const QByteArray old = Lines(400, 'a'), next = Lines(420, 'b');
    writeAll(path, old);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    for (const qint64 room : {qint64(0), qint64(4096), qint64(next.size() - 1)}) {
        SCOPED_TRACE(room);
        int error = 0;
        {
            FileSizeLimit full(room);
            EXPECT_FALSE(ReplaceFile(path, next, &error));
        }
        EXPECT_EQ(error, EFBIG);
        EXPECT_EQ(readAll(path), old);
        EXPECT_EQ(EntriesOf(home.path()), QStringList{"Datei"}) << "no temporary file left";
    }
    ASSERT_TRUE(ReplaceFile(path, next));
    EXPECT_EQ(readAll(path), next);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// Each user file that is replaced whole goes the same way: the settings file and
// the backup copy here, parameter files and the budget memory beside their code.
TEST(ReplaceFile, SettingsAndBackupKeepTheirBytesOnAFullDisk) {
    ScratchHome home;
    const QString ini = home.file("WinVarno.INI");
    const QByteArray settings = "[Allgemein]\r\nAnschlu\xdf=COM1\r\n" + Lines(400, 's');
    writeAll(ini, settings);
    IniFile file(ini);
    file.writeString("Fenster", "X-Position", "12");
    {
        FileSizeLimit full(4096);
        EXPECT_FALSE(file.save());
    }
    EXPECT_EQ(file.error(), EFBIG);
    EXPECT_EQ(readAll(ini), settings);

    const QString log = home.file("a.dat"), bak = home.file("a.bak");
    writeAll(log, Lines(2000, 'l'));
    writeAll(bak, "the earlier backup");
    int error = 0;
    {
        FileSizeLimit full(4096);
        EXPECT_FALSE(CopyFileBytes(log, bak, {}, &error));
    }
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(readAll(bak), "the earlier backup") << "never replaced by a shorter copy";
    EXPECT_EQ(EntriesOf(home.path()), QStringList({"a.bak", "a.dat", "WinVarno.INI"}));
}

// A FIFO would block its first read or write until a partner came.
TEST(OpenRegular, OnlyRegularFilesAreOpenedAndNothingWaits) {
    ScratchHome home;
    const QString fifo = home.file("fifo"), file = home.file("file"), link = home.file("link");
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    writeAll(file, "meins");
    ASSERT_TRUE(QFile::link(file, link));
    int error = 0;
    EXPECT_EQ(OpenRegular(fifo, O_RDONLY, &error), -1);
    EXPECT_EQ(error, kNotRegularFile);
    EXPECT_EQ(OpenRegular(fifo, O_WRONLY | O_APPEND, &error), -1) << "no reader: refused too";
    EXPECT_EQ(OpenRegular(home.path(), O_RDONLY, &error), -1);
    EXPECT_EQ(error, kNotRegularFile);
    EXPECT_FALSE(ReadRegular(fifo, 100, &error).has_value());
    EXPECT_EQ(ReadRegular(link, 100, &error), QByteArray("meins"));

    EXPECT_FALSE(ReplaceFile(fifo, "neu", &error));
    EXPECT_EQ(error, kNotRegularFile);
    EXPECT_FALSE(QFileInfo(fifo).isFile()) << "the FIFO stays what it was";
    IniFile settings(fifo);
    EXPECT_TRUE(settings.unreadable());
    EXPECT_EQ(settings.error(), kNotRegularFile);
    settings.writeString("Fenster", "X-Position", "1");
    EXPECT_FALSE(settings.save());
    EXPECT_FALSE(QFileInfo(fifo).isFile());
}
