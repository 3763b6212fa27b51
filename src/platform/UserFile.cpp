#include "platform/UserFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kLinkHops = 40; // as the kernel's own limit

int Errno(int fallback = EIO) {
    return errno != 0 ? errno : fallback;
}

} // namespace

int OpenRegular(const QString& path, int flags, int* error) {
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO for reading returns at once instead of waiting for
    // a writer (and for writing fails at once); a device is not waited for either.
    int fd = -1;
    do
        fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = Errno();
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = kNotRegularFile;
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<QByteArray> ReadRegular(const QString& path, qint64 limit, int* error,
                                      bool* truncated) {
    const int fd = OpenRegular(path, O_RDONLY, error);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    const qint64 size = ::fstat(fd, &info) == 0 ? qint64(info.st_size) : 0;
    QByteArray bytes;
    bytes.resize(qsizetype(std::min(std::max<qint64>(size, 0), limit)));
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got >= limit)
                break;
            // The file may have grown since fstat (or report no size at all).
            bytes.resize(qsizetype(std::min<qint64>(limit, qint64(got) + 65536)));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = Errno();
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += n;
    }
    bytes.resize(got);
    if (truncated) {
        char more = 0;
        *truncated = got >= limit && ::read(fd, &more, 1) == 1;
    }
    ::close(fd);
    *error = 0;
    return bytes;
}

QString ResolveLinks(const QString& path) {
    QString resolved = path;
    for (int hops = 0; hops < kLinkHops; ++hops) {
        const QFileInfo info(resolved);
        if (!info.isSymLink())
            break;
        resolved = info.symLinkTarget();
    }
    return resolved;
}

TReplacement::TReplacement(const QString& path) : m_target(QFile::encodeName(ResolveLinks(path))) {
}

TReplacement::~TReplacement() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
}

bool TReplacement::Fail(int error) {
    m_error = error;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_temp.clear();
    return false;
}

bool TReplacement::Open() {
    m_error = 0;
    struct stat old {};
    const bool exists = ::stat(m_target.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return Fail(kNotRegularFile);
    const qsizetype slash = m_target.lastIndexOf('/');
    const QByteArray dir =
        slash < 0 ? QByteArray(".") : m_target.left(std::max<qsizetype>(slash, 1));
    const QByteArray base = m_target.mid(slash + 1);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        // Hidden and beside the target: the same file system, so the rename is atomic.
        m_temp = dir + "/." + base + '.' +
                 QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".neu";
        m_fd = ::open(m_temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST) {
            m_temp.clear();
            return Fail(Errno());
        }
    }
    if (m_fd < 0) {
        m_temp.clear();
        return Fail(EEXIST);
    }
    // The new version keeps the old one's permissions; a new file gets the umask's.
    if (exists && ::fchmod(m_fd, old.st_mode & 07777) != 0)
        return Fail(Errno());
    return true;
}

int WriteFully(int fd, QByteArrayView bytes) {
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        p += n;
        left -= n;
    }
    return 0;
}

bool TReplacement::Write(QByteArrayView bytes) {
    if (m_fd < 0)
        return false;
    const int error = WriteFully(m_fd, bytes);
    return error == 0 || Fail(error);
}

bool TReplacement::Commit() {
    if (m_fd < 0)
        return false;
    // A full disk may only show here, when the file system allocates the blocks.
    if (::fsync(m_fd) != 0)
        return Fail(Errno());
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return Fail(Errno());
    if (::rename(m_temp.constData(), m_target.constData()) != 0)
        return Fail(Errno());
    m_temp.clear();
    // The rename itself lasts only once the folder is on disk too. Past the rename
    // the old version is gone; a failure here is still told.
    const qsizetype slash = m_target.lastIndexOf('/');
    const QByteArray dir =
        slash < 0 ? QByteArray(".") : m_target.left(std::max<qsizetype>(slash, 1));
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        const bool synced = ::fsync(dirFd) == 0 || errno == EINVAL || errno == EROFS;
        const int syncError = Errno();
        ::close(dirFd);
        if (!synced)
            return Fail(syncError);
    }
    return true;
}

bool ReplaceFile(const QString& path, QByteArrayView bytes, int* error) {
    TReplacement file(path);
    const bool ok = file.Open() && file.Write(bytes) && file.Commit();
    if (error)
        *error = file.error();
    return ok;
}

} // namespace platform
