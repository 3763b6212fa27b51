#include "config/ParameterFile.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using config::ConfigImage;
using testsupport::readAll;
using testsupport::writeAll;

ConfigImage Patterned(int seed) {
    ConfigImage image;
    int i = seed;
    for (auto& b : image.Bytes())
        b = std::uint8_t(i++ * 7);
    return image;
}

TEST(ParameterFile, SavingRightAfterStartWritesZeros) {
    testsupport::ScratchHome home;
    const QString path = home.file("fresh.vrn");
    ASSERT_TRUE(config::SaveParameterFile(path, ConfigImage()));
    EXPECT_EQ(readAll(path), QByteArray(588, '\0'));
}

TEST(ParameterFile, RoundTripKeepsTheChargeBlockInMemory) {
    testsupport::ScratchHome home;
    const QString path = home.file("a.vrn");
    const ConfigImage saved = Patterned(1);
    ASSERT_TRUE(config::SaveParameterFile(path, saved));
    EXPECT_EQ(readAll(path), saved.ToByteArray());

    ConfigImage current = Patterned(50);
    ASSERT_TRUE(config::LoadParameterFile(path, current));
    const QByteArray loaded = current.ToByteArray();
    EXPECT_EQ(loaded.left(412), saved.ToByteArray().left(412));
    EXPECT_EQ(loaded.mid(412), Patterned(50).ToByteArray().mid(412));
}

TEST(ParameterFile, UnusableFilesChangeNothing) {
    testsupport::ScratchHome home;
    const QString shortFile = home.file("short.vrn");
    writeAll(shortFile, QByteArray(587, char(0x42)));
    const QString emptyFile = home.file("empty.vrn");
    writeAll(emptyFile, QByteArray());
    for (const QString& path : {shortFile, emptyFile, home.file("missing.vrn"), home.path()}) {
        ConfigImage image = Patterned(3);
        EXPECT_FALSE(config::LoadParameterFile(path, image)) << path.toStdString();
        EXPECT_EQ(image, Patterned(3)) << path.toStdString();
    }
}

TEST(ParameterFile, LongerFileLoadsItsFirstRecord) {
    testsupport::ScratchHome home;
    const QString path = home.file("long.vrn");
    writeAll(path, Patterned(9).ToByteArray() + QByteArray(100, char(0x99)));
    ConfigImage image;
    ASSERT_TRUE(config::LoadParameterFile(path, image));
    EXPECT_EQ(image.ToByteArray().left(412), Patterned(9).ToByteArray().left(412));
    EXPECT_EQ(image.ToByteArray().mid(412), QByteArray(176, '\0'));
}

TEST(ParameterFile, FailedSaveIsReported) {
    testsupport::ScratchHome home;
    const QString file = home.file("plain.vrn");
    writeAll(file, QByteArray("old contents"));
    EXPECT_FALSE(config::SaveParameterFile(home.file("no/such/dir/x.vrn"), Patterned(2)));
    EXPECT_FALSE(config::SaveParameterFile(file + "/x.vrn", Patterned(2)));
    EXPECT_FALSE(config::SaveParameterFile(home.path(), Patterned(2)));
    EXPECT_EQ(readAll(file), QByteArray("old contents"));
}

TEST(ParameterFile, FailedSaveKeepsTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "directory permissions do not bind root";
    testsupport::ScratchHome home;
    const QString path = home.file("keep.vrn");
    writeAll(path, QByteArray("old contents"));
    // Without write access to the directory no temporary file can be made beside the target.
    QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool saved = config::SaveParameterFile(path, Patterned(2));
    QFile::setPermissions(home.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(saved);
    EXPECT_EQ(readAll(path), QByteArray("old contents"));
}

TEST(ParameterFile, ProposedName) {
    EXPECT_EQ(config::ProposedSaveName(QDate(2026, 12, 6)), "WinVarno_261206.VRN");
    EXPECT_EQ(config::ProposedSaveName(QDate(2001, 2, 3)), "WinVarno_010203.VRN");
}

} // namespace
