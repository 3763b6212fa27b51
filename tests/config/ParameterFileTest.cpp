#include "config/ParameterFile.h"
#include "platform/UserFile.h"
#include "support/TestSupport.h"

#include <QFile>
#include <cerrno>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using config::ConfigImage;
using testsupport::readAll;
using testsupport::writeAll;

ConfigImage Patterned(int seed) {
    ConfigImage image;
    for (auto& b : image.Bytes())
        b = std::uint8_t(seed++ * 7);
    return image;
}

TEST(ParameterFile, SaveAndLoadKeepTheChargeBlockInMemory) {
    testsupport::ScratchHome home;
    const QString fresh = home.file("fresh.vrn"), path = home.file("a.vrn");
    ASSERT_TRUE(config::SaveParameterFile(fresh, ConfigImage()));
    EXPECT_EQ(readAll(fresh), QByteArray(588, '\0'));

    ASSERT_TRUE(config::SaveParameterFile(path, Patterned(1)));
    EXPECT_EQ(readAll(path), Patterned(1).ToByteArray());
    ConfigImage current = Patterned(50);
    ASSERT_TRUE(config::LoadParameterFile(path, current));
    EXPECT_EQ(current.ToByteArray().left(412), Patterned(1).ToByteArray().left(412));
    EXPECT_EQ(current.ToByteArray().mid(412), Patterned(50).ToByteArray().mid(412));

    writeAll(path, Patterned(9).ToByteArray() + QByteArray(100, char(0x99)));
    ASSERT_TRUE(config::LoadParameterFile(path, current));
    EXPECT_EQ(current.ToByteArray().left(412), Patterned(9).ToByteArray().left(412));
}

TEST(ParameterFile, UnusableFilesChangeNothing) {
    testsupport::ScratchHome home;
    writeAll(home.file("short.vrn"), QByteArray(587, char(0x42)));
    for (const QString& path : {home.file("short.vrn"), home.file("missing.vrn"), home.path()}) {
        ConfigImage image = Patterned(3);
        EXPECT_FALSE(config::LoadParameterFile(path, image)) << path.toStdString();
        EXPECT_EQ(image, Patterned(3)) << path.toStdString();
    }
}

TEST(ParameterFile, FailedSaveIsReportedAndKeepsTheOldFile) {
    testsupport::ScratchHome home;
    const QString path = home.file("keep.vrn");
    writeAll(path, QByteArray("old contents"));
    EXPECT_FALSE(config::SaveParameterFile(path + "/x.vrn", Patterned(2)));
    EXPECT_FALSE(config::SaveParameterFile(home.path(), Patterned(2)));
    if (::geteuid() != 0) { // directory permissions do not bind root
        QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_FALSE(config::SaveParameterFile(path, Patterned(2)));
        QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner);
    }
    EXPECT_EQ(readAll(path), QByteArray("old contents"));
}

TEST(ParameterFile, AFullDiskKeepsTheOldFileAndAFifoIsNotWaitedFor) {
    testsupport::ScratchHome home;
    const QString path = home.file("tag.vrn");
    ASSERT_TRUE(config::SaveParameterFile(path, Patterned(1)));
    int error = 0;
    {
        testsupport::FileSizeLimit full(0);
        EXPECT_FALSE(config::SaveParameterFile(path, Patterned(2), &error));
    }
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(readAll(path), Patterned(1).ToByteArray());

    const QString fifo = home.file("fifo.vrn");
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    ConfigImage image = Patterned(3);
    EXPECT_FALSE(config::LoadParameterFile(fifo, image, &error));
    EXPECT_EQ(error, platform::kNotRegularFile);
    EXPECT_EQ(image, Patterned(3));
}

TEST(ParameterFile, ProposedName) {
    EXPECT_EQ(config::ProposedSaveName(QDate(2026, 12, 6)), "WinVarno_261206.VRN");
}

} // namespace
