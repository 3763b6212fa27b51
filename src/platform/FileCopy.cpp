#include "platform/FileCopy.h"

#include <QFile>
#include <QSaveFile>

namespace platform {

bool CopyFileBytes(const QString& from, const QString& to, const std::function<void()>& between) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    char buffer[65536];
    for (int chunk = 1;; ++chunk) {
        if (between && chunk % 16 == 0)
            between();
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0 || (n > 0 && out.write(buffer, n) != n)) {
            out.cancelWriting();
            return false;
        }
        if (n == 0)
            break;
    }
    return out.commit();
}

} // namespace platform
