#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace fuzz {
namespace {

std::string g_scratch;

void RemoveScratch() {
    std::remove(g_scratch.c_str());
}

} // namespace

QString ScratchPath() {
    if (g_scratch.empty()) {
        g_scratch = QFile::encodeName(QDir::tempPath() +
                                      QStringLiteral("/winvarno-fuzz-%1.tmp").arg(getpid()))
                        .toStdString();
        std::atexit(RemoveScratch);
    }
    return QFile::decodeName(g_scratch.c_str());
}

void WriteScratch(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(bytes) == bytes.size());
}

} // namespace fuzz
