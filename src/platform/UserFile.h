#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The files the user owns (settings, parameter files, the charge log, its backup,
// the budget memory, exports): opened without ever waiting on a FIFO or a device,
// and replaced only when the new content is wholly on disk.
namespace platform {

// Beside errno values: the path names a FIFO, a device, a socket or a directory.
inline constexpr int kNotRegularFile = -1;

// Opens a regular file (also behind symbolic links) with `flags` plus O_NONBLOCK
// and O_CLOEXEC; anything else is refused at once, before it can block a read or
// a write. The descriptor, or -1 with *error set to an errno value or
// kNotRegularFile.
int OpenRegular(const QString& path, int flags, int* error);

// Up to `limit` bytes from the start of a regular file; nullopt with *error set when
// it cannot be opened or read. A file longer than `limit` gives its first bytes,
// and *truncated (when given) says so.
std::optional<QByteArray> ReadRegular(const QString& path, qint64 limit, int* error,
                                      bool* truncated = nullptr);

// Writes every byte, going on after a short or interrupted write; 0, or an errno
// value (ENOSPC when the system took nothing without saying why).
int WriteFully(int fd, QByteArrayView bytes);

// The file a save changes: symbolic links are followed, also to a target that is
// not there yet, so the link itself stays.
QString ResolveLinks(const QString& path);

// A new version of a file, written beside it and put in its place only when every
// byte has reached the disk. Nothing is buffered: every failed write is seen here.
// Until Commit() succeeds the old file keeps every byte, and a failure or the end
// of the object removes the temporary file.
class TReplacement {
public:
    explicit TReplacement(const QString& path);
    ~TReplacement();
    TReplacement(const TReplacement&) = delete;
    TReplacement& operator=(const TReplacement&) = delete;

    // Makes the temporary file; refuses a target that is not a regular file.
    bool Open();
    bool Write(QByteArrayView bytes);
    // Syncs the file, renames it over the target, then syncs the folder.
    bool Commit();
    // Why the last step failed: an errno value or kNotRegularFile; 0 when none did.
    int error() const { return m_error; }

private:
    bool Fail(int error);

    QByteArray m_target;
    QByteArray m_temp;
    int m_fd = -1;
    int m_error = 0;
};

// Replaces the file with `bytes` in one TReplacement; false with *error set on failure.
bool ReplaceFile(const QString& path, QByteArrayView bytes, int* error = nullptr);

} // namespace platform
