#include "platform/ProgramFiles.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

namespace platform::programfiles {

QString BesideProgram(const QString& programPath, const QString& extension) {
    const QFileInfo info(programPath);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    return info.absolutePath() + u'/' + base + extension;
}

QString UserDataDirectory() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/WinVarno");
}

QString DataFile(const QString& programPath, const QString& extension) {
    QString beside = BesideProgram(programPath, extension);
    const QByteArray dir = QFile::encodeName(QFileInfo(beside).absolutePath());
    if (::access(dir.constData(), W_OK) == 0)
        return beside;
    return UserDataDirectory() + u'/' + QFileInfo(beside).fileName();
}

} // namespace platform::programfiles
