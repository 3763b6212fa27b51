#include "platform/FileCopy.h"

#include "platform/UserFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool CopyFileBytes(const QString& from, const QString& to, const std::function<void()>& between,
                   int* error) {
    int failure = 0;
    const auto done = [&](bool ok) {
        if (error)
            *error = ok ? 0 : failure;
        return ok;
    };
    const int in = OpenRegular(from, O_RDONLY, &failure);
    if (in < 0)
        return done(false);
    TReplacement out(to);
    if (!out.Open()) {
        failure = out.error();
        ::close(in);
        return done(false);
    }
    char buffer[65536];
    for (int chunk = 1;; ++chunk) {
        if (between && chunk % 16 == 0)
            between();
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failure = errno;
            ::close(in);
            return done(false);
        }
        if (n == 0)
            break;
        if (!out.Write(QByteArrayView(buffer, n))) {
            failure = out.error();
            ::close(in);
            return done(false);
        }
    }
    ::close(in);
    if (!out.Commit()) {
        failure = out.error();
        return done(false);
    }
    return done(true);
}

} // namespace platform
