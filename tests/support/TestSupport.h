#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>

namespace testsupport {

// A scratch directory that also serves as XDG_CONFIG_HOME, XDG_DATA_HOME and
// XDG_RUNTIME_DIR while it lives, so no test touches the user's real files.
class ScratchHome {
public:
    ScratchHome();
    ~ScratchHome();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfig, m_oldData, m_oldRuntime;
};

// Processes events until `done` holds or `timeoutMs` passes; bounds are generous.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// While it lives, no file this process writes may grow beyond `bytes`: a write
// past that point stops there and then fails (EFBIG) just as on a full disk, at a
// byte the test chooses. SIGXFSZ is ignored meanwhile, so the write reports it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    qint64 m_old = 0;
    void (*m_oldHandler)(int) = nullptr;
};

// Makes a FIFO at `path`; false when the file system has none.
bool makeFifo(const QString& path);

QByteArray readAll(const QString& path);
void writeAll(const QString& path, const QByteArray& bytes);

} // namespace testsupport
