#include "serial/CommLog.h"

#include <QLoggingCategory>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <locale.h>
#include <mutex>
#include <unistd.h>

namespace serial {

namespace {

Q_LOGGING_CATEGORY(lcSerial, "winvarno.serial", QtInfoMsg)

struct LogState {
    std::mutex lock;
    std::string name;
    FILE* file = nullptr;
};

LogState& State() {
    static LogState state;
    return state;
}

} // namespace

void SetCommsLogName(const QString& path) {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    std::string name = path.toStdString();
    if (name != s.name && s.file) {
        std::fclose(s.file);
        s.file = nullptr;
    }
    s.name = std::move(name);
}

QString CommsLogName() {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    return QString::fromStdString(s.name);
}

namespace {

// Appending, never waiting: a FIFO without a reader is not opened, one with a reader
// drops what it cannot take at once; a device is not waited for either.
std::FILE* OpenAppend(const std::string& name) {
    const int fd = ::open(name.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "a");
    if (!file)
        ::close(fd);
    return file;
}

} // namespace

void OpenCommsLog() {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    if (s.file)
        std::fclose(s.file);
    // The file is the user's (a report about a real exchange may span several runs).
    s.file = s.name.empty() ? nullptr : OpenAppend(s.name);
}

void CloseCommsLog() {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    if (s.file)
        std::fclose(s.file);
    s.file = nullptr;
}

void CommLog(std::string_view text) {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    if (s.name.empty())
        return;
    // Lines logged while the port is closed (SendData without a writer) still land.
    if (!s.file)
        s.file = OpenAppend(s.name);
    if (!s.file)
        return;

    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S  ", &local);

    std::string line;
    line.reserve(text.size() + 14);
    line.append(stamp).append(text).append("\r\n");
    std::fwrite(line.data(), 1, line.size(), s.file);
    std::fflush(s.file);
}

std::string SystemErrorText(int error) {
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    if (c)
        return strerror_l(error, c);
    char buf[256];
    return strerror_r(error, buf, sizeof buf);
}

void LogSystemError(std::string_view prefix, int error) {
    std::string line(prefix);
    line.append("GetLastError returned: \"").append(SystemErrorText(error)).append("\"");
    CommLog(line);
}

void DebugOutput(std::string_view text) {
    qCDebug(lcSerial).noquote() << QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace serial
