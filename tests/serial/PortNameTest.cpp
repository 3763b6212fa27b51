#include "serial/PortName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using serial::ResolveCommPort;

TEST(PortName, ComNamesMapToSettingsOrTtyS) {
    const serial::TPortLookup lookup = [](const QString& key) -> std::optional<QString> {
        if (key == "COM3")
            return QStringLiteral(" /tmp/varno ");
        if (key == "COM4")
            return QStringLiteral("  ");
        return std::nullopt;
    };
    EXPECT_EQ(ResolveCommPort("COM3", lookup), "/tmp/varno");
    EXPECT_EQ(ResolveCommPort("com3", lookup), "/tmp/varno");
    EXPECT_EQ(ResolveCommPort("COM1", lookup), "/dev/ttyS0");
    EXPECT_EQ(ResolveCommPort("COM4", lookup), "/dev/ttyS3"); // blank entry ignored
    EXPECT_EQ(ResolveCommPort("COM2", nullptr), "/dev/ttyS1");
    EXPECT_EQ(ResolveCommPort("COM5", lookup), "COM5");
    EXPECT_EQ(ResolveCommPort("/dev/ttyUSB0", lookup), "/dev/ttyUSB0");
}

TEST(PortName, SettingsFileSectionIsRead) {
    testsupport::ScratchHome home;
    testsupport::writeAll(
        home.file("WinVarno.INI"),
        "[Allgemein]\r\nAnschluss=COM2\r\n[schnittstellen]\r\ncom2=/dev/pts/9\r\n");
    EXPECT_EQ(ResolveCommPort("COM2", serial::SettingsPortLookup), "/dev/pts/9");
    EXPECT_EQ(ResolveCommPort("COM1", serial::SettingsPortLookup), "/dev/ttyS0");
}
