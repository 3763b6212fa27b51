#include "config/ParameterFile.h"

#include "platform/UserFile.h"

#include <algorithm>

namespace config {

bool LoadParameterFile(const QString& path, ConfigImage& image, int* error) {
    int failure = 0;
    const std::optional<QByteArray> read = platform::ReadRegular(path, ConfigImage::Size, &failure);
    if (error)
        *error = failure;
    if (!read || read->size() < ConfigImage::Size)
        return false;
    const QByteArray& record = *read;

    const auto charges = image.ChargeBlock();
    QByteArray keptCharges(reinterpret_cast<const char*>(charges.data()),
                           qsizetype(charges.size()));
    std::copy(record.cbegin(), record.cend(), image.Bytes().begin());
    std::copy(keptCharges.cbegin(), keptCharges.cend(), charges.begin());
    return true;
}

bool SaveParameterFile(const QString& path, const ConfigImage& image, int* error) {
    return platform::ReplaceFile(path, image.ToByteArray(), error);
}

QString ProposedSaveName(const QDate& date) {
    // Fixed ASCII digits whatever the locale: the name must be a plain file name.
    return QStringLiteral("WinVarno_") + date.toString(QStringLiteral("yyMMdd")) +
           QStringLiteral(".VRN");
}

} // namespace config
