#include "SerialTestSupport.h"

#include "serial/PortDiscovery.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <unistd.h>

using serial::TPortFailure;

namespace {

// A /dev and /sys of its own: nodes are plain files, links are relative as udev makes them.
struct FakeTree {
    testsupport::ScratchHome home;
    serial::TDeviceRoots roots{home.file("dev"), home.file("sys")};

    void file(const QString& path, const QByteArray& text = {}) {
        QDir().mkpath(QFileInfo(home.file(path)).path());
        testsupport::writeAll(home.file(path), text);
    }
    void link(const QString& path, const QString& target) {
        QDir().mkpath(QFileInfo(home.file(path)).path());
        ASSERT_EQ(::symlink(target.toLocal8Bit().constData(), home.file(path).toLocal8Bit()), 0);
    }
    // A USB device with its strings, and a tty node whose device lies `below` it.
    void usb(const QString& node, const QString& device, const QByteArray& maker,
             const QByteArray& product, const QString& below) {
        file("sys/devices/usb1/" + device + "/manufacturer", maker + "\n");
        file("sys/devices/usb1/" + device + "/product", product + "\n");
        file("sys/devices/usb1/" + device + "/" + below + "/uevent");
        link("sys/class/tty/" + node + "/device", "../../../devices/usb1/" + device + "/" + below);
    }
};

} // namespace

TEST(PortDiscovery, LinksFirstThenUsbAcmAndRealUartsWithTheirAdapterNames) {
    FakeTree t;
    for (const char* node :
         {"ttyUSB0", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "ttyUSBx", "tty0"})
        t.file(QStringLiteral("dev/") + node);
    t.link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
    t.link("dev/serial/by-id/usb-gone-if00-port0", "../../ttyUSB7"); // unplugged, link left
    t.usb("ttyUSB0", "1-1", "FTDI", "FT232R USB UART", "1-1:1.0/ttyUSB0");
    t.usb("ttyACM0", "1-2", "Arduino (www.arduino.cc)", "Arduino Uno", "1-2:1.0");
    t.usb("ttyUSB2", "1-3", "Prolific Technology Inc.", "Prolific Technology Inc. USB-Serial",
          "1-3:1.0/ttyUSB2");
    t.file("sys/class/tty/ttyS0/type", "4\n");
    t.file("sys/class/tty/ttyS1/type", "0\n"); // a node without a UART

    QStringList got;
    for (const serial::TSerialDevice& d : serial::FindSerialDevices(t.roots))
        got << QDir(t.home.path()).relativeFilePath(d.path) + "|" + d.node + "|" + d.name;
    EXPECT_EQ(got, QStringList({
                       "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0|ttyUSB0|"
                       "FTDI FT232R USB UART",
                       "dev/ttyUSB2|ttyUSB2|Prolific Technology Inc. USB-Serial",
                       "dev/ttyUSB10|ttyUSB10|",
                       "dev/ttyACM0|ttyACM0|Arduino (www.arduino.cc) Arduino Uno",
                       "dev/ttyS0|ttyS0|",
                   }));
}

// What OpenPort refuses is checked there; here what only the probe decides.
TEST(PortDiscovery, ProbeAsksTheDeviceTreeOrATerminalTheTreeDoesNotList) {
    serialtest::PtyPair pty;
    EXPECT_EQ(serial::ProbeDevice(pty.devicePath()).failure, TPortFailure::None);
    EXPECT_EQ(serial::ProbeDevice("/dev/null").failure, TPortFailure::NotSerial);
    EXPECT_EQ(serial::ProbeDevice("/tmp").failure, TPortFailure::NotSerial);
    EXPECT_EQ(serial::ProbeDevice("/dev/nothing-here").failure, TPortFailure::NoDevice);
}
