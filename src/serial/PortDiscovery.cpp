#include "serial/PortDiscovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <fcntl.h>
#include <linux/serial.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace serial {
namespace {

// A short text file of the device tree, without control characters; empty if absent.
QString SysText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.read(256)).trimmed();
    text.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    return text;
}

QString AdapterName(const TDeviceRoots& roots, const QString& node) {
    QString dir =
        QFileInfo(roots.sys + QStringLiteral("/class/tty/") + node + QStringLiteral("/device"))
            .canonicalFilePath();
    // The USB device with its strings sits one (ACM) or two (usb-serial) levels up.
    for (int level = 0; level < 4 && !dir.isEmpty(); ++level) {
        const QString product = SysText(dir + QStringLiteral("/product"));
        if (!product.isEmpty()) {
            const QString maker = SysText(dir + QStringLiteral("/manufacturer"));
            if (maker.isEmpty() || product.startsWith(maker, Qt::CaseInsensitive))
                return product;
            return maker + u' ' + product;
        }
        const QString parent = QFileInfo(dir).path();
        if (parent == dir)
            break;
        dir = parent;
    }
    return {};
}

// Nodes named prefix + number, by number.
QStringList Nodes(const QString& dev, const QString& prefix) {
    QStringList names = QDir(dev).entryList({prefix + u'*'}, QDir::Files | QDir::System);
    names.removeIf([&](const QString& n) {
        bool ok = false;
        n.mid(prefix.size()).toUInt(&ok);
        return !ok;
    });
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        return a.mid(prefix.size()).toUInt() < b.mid(prefix.size()).toUInt();
    });
    return names;
}

// Every ttyS node exists whether or not a UART answers behind it.
bool IsRealUart(const TDeviceRoots& roots, const QString& node) {
    const QString type =
        SysText(roots.sys + QStringLiteral("/class/tty/") + node + QStringLiteral("/type"));
    if (!type.isEmpty())
        return type.toInt() != 0;
    const QByteArray path = QFile::encodeName(roots.dev + u'/' + node);
    const int fd = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}

} // namespace

std::vector<TSerialDevice> FindSerialDevices(const TDeviceRoots& roots) {
    std::vector<TSerialDevice> found;
    std::set<QString> linked;
    const QDir byId(roots.dev + QStringLiteral("/serial/by-id"));
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString target = link.canonicalFilePath();
        if (target.isEmpty())
            continue; // the adapter is gone, its link not yet
        const QString node = QFileInfo(target).fileName();
        found.push_back({link.absoluteFilePath(), node, AdapterName(roots, node)});
        linked.insert(node);
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (const QString& node : Nodes(roots.dev, QString::fromLatin1(prefix)))
            if (!linked.count(node))
                found.push_back({roots.dev + u'/' + node, node, AdapterName(roots, node)});
    for (const QString& node : Nodes(roots.dev, QStringLiteral("ttyS")))
        if (!linked.count(node) && IsRealUart(roots, node))
            found.push_back({roots.dev + u'/' + node, node, AdapterName(roots, node)});
    return found;
}

TProbeResult ProbeDevice(const QString& path, const TDeviceRoots& roots) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return {TPortFailure::NoDevice, ENOENT};
    struct stat info {};
    if (::stat(name.constData(), &info) != 0)
        return {ClassifyOpenError(errno), errno};
    if (S_ISDIR(info.st_mode))
        return {TPortFailure::NotSerial, EISDIR};
    if (!S_ISCHR(info.st_mode))
        return {TPortFailure::NotSerial, ENOTTY};

    const QString sysDir =
        roots.sys +
        QStringLiteral("/dev/char/%1:%2").arg(major(info.st_rdev)).arg(minor(info.st_rdev));
    const QString subsystem = QFileInfo(sysDir + QStringLiteral("/subsystem")).canonicalFilePath();
    if (!subsystem.isEmpty()) {
        if (QFileInfo(subsystem).fileName() != u"tty")
            return {TPortFailure::NotSerial, ENOTTY};
        // A ttyS node without a UART behind it.
        if (SysText(sysDir + QStringLiteral("/type")) == u"0")
            return {TPortFailure::NoDevice, ENODEV};
        return {};
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {ClassifyOpenError(errno), errno};
    termios tio{};
    const bool terminal = ::tcgetattr(fd, &tio) == 0;
    const int error = errno;
    ::close(fd);
    if (terminal)
        return {};
    return {TPortFailure::NotSerial, error};
}

} // namespace serial
