#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>

// A failed property must stop the fuzzer whatever NDEBUG says.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

// One scratch file per fuzzing process, so parallel jobs do not share it.
QString ScratchPath();

// Replaces the scratch file's contents; aborts when that fails, since a
// missing input would make every later check meaningless.
void WriteScratch(const QString& path, const QByteArray& bytes);

} // namespace fuzz
