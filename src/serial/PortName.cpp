#include "serial/PortName.h"

#include "platform/IniFile.h"

namespace serial {

QString ResolveCommPort(const QString& port, const TPortLookup& lookup) {
    const QString name = port.trimmed();
    if (name.size() == 4 && name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
        const QChar digit = name.at(3);
        if (digit >= QLatin1Char('1') && digit <= QLatin1Char('4')) {
            const QString key = name.toUpper();
            if (lookup) {
                if (auto path = lookup(key); path && !path->trimmed().isEmpty())
                    return path->trimmed();
            }
            return QStringLiteral("/dev/ttyS%1").arg(digit.digitValue() - 1);
        }
    }
    return name;
}

std::optional<QString> SettingsPortLookup(const QString& key) {
    platform::IniFile ini(platform::IniFile::SettingsPath());
    return ini.value(QStringLiteral("Schnittstellen"), key);
}

} // namespace serial
