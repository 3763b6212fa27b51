#pragma once

#include "serial/PortFailure.h"

#include <QString>
#include <vector>

namespace serial {

// Where the device nodes and the kernel's device tree are; tests point both into
// a scratch tree.
struct TDeviceRoots {
    QString dev = QStringLiteral("/dev");
    QString sys = QStringLiteral("/sys");
};

struct TSerialDevice {
    QString path; // what to open: the stable udev link where there is one
    QString node; // the kernel's name, such as ttyUSB0
    QString name; // the adapter's maker and product where the device tree has them
};

// The serial devices present: udev's /dev/serial/by-id links first, then the
// ttyUSB and ttyACM nodes no link leads to, then the ttyS nodes with a UART behind
// them. Each group in the order of its names, numbers counted as numbers.
std::vector<TSerialDevice> FindSerialDevices(const TDeviceRoots& roots = {});

struct TProbeResult {
    TPortFailure failure = TPortFailure::None;
    int error = 0;
};

// Whether `path` can be a serial port at all: missing, a directory, a regular
// file or a character device of another kind (/dev/null) cannot. Decided from the
// file's type and the device tree; only a terminal the device tree does not list
// (a pseudo-terminal) is opened, read-only, to ask it. Nothing is ever written.
TProbeResult ProbeDevice(const QString& path, const TDeviceRoots& roots = {});

} // namespace serial
