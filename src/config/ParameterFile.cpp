#include "config/ParameterFile.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

namespace config {

bool LoadParameterFile(const QString& path, ConfigImage& image) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray record;
    // read() may return less than asked on pipes and the like; keep reading until full.
    while (record.size() < ConfigImage::Size) {
        const QByteArray chunk = file.read(ConfigImage::Size - record.size());
        if (chunk.isEmpty())
            break;
        record += chunk;
    }
    if (record.size() < ConfigImage::Size)
        return false;

    const auto charges = image.ChargeBlock();
    QByteArray keptCharges(reinterpret_cast<const char*>(charges.data()),
                           qsizetype(charges.size()));
    std::copy(record.cbegin(), record.cend(), image.Bytes().begin());
    std::copy(keptCharges.cbegin(), keptCharges.cend(), charges.begin());
    return true;
}

bool SaveParameterFile(const QString& path, const ConfigImage& image) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = image.ToByteArray();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString ProposedSaveName(const QDate& date) {
    // Fixed ASCII digits whatever the locale: the name must be a plain file name.
    return QStringLiteral("WinVarno_") + date.toString(QStringLiteral("yyMMdd")) +
           QStringLiteral(".VRN");
}

} // namespace config
