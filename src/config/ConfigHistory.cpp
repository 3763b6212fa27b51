#include "config/ConfigHistory.h"

#include "config/ConfigDiff.h"
#include "config/ParameterFile.h"
#include "platform/ProgramFiles.h"
#include "platform/UserFile.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace config {
namespace {

const QString IndexName = QStringLiteral("Index.txt");
const QString LockName = QStringLiteral("Index.lock");
constexpr char Header[] = "# WinVarno Konfigurationsverlauf: Nummer, Zeit (UTC), Herkunft, "
                          "Kennung, Datei, Angabe\n";
constexpr int Fields = 6;
constexpr int KeyLength = 32; // hex digits: 128 bits of SHA-256
constexpr int DetailLength = 255;
constexpr qint64 LargestIndex = 64 << 20; // far beyond any real history
constexpr int LockWaitMs = 2000;

// The index's lock between processes. flock, not a lock file with a PID in it: the
// kernel lets go when its holder dies, also when it was killed before it could say
// who it is, so a crash never locks the history out.
class TIndexLock {
public:
    explicit TIndexLock(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {}
    ~TIndexLock() {
        if (m_fd >= 0)
            ::close(m_fd); // drops the lock
    }
    TIndexLock(const TIndexLock&) = delete;
    TIndexLock& operator=(const TIndexLock&) = delete;

    // Another process holds it only for one addition; give up after `waitMs`.
    bool take(int waitMs) {
        if (m_fd < 0)
            return false;
        const QDeadlineTimer deadline(waitMs);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
                return false;
            QThread::msleep(5);
        }
        return true;
    }

private:
    int m_fd;
};

struct OriginName {
    Origin origin;
    const char* key; // in the index
};
constexpr std::array OriginNames{
    OriginName{Origin::Read, "gelesen"},
    OriginName{Origin::Written, "geschrieben"},
    OriginName{Origin::Schedule, "zeitpunkt"},
    OriginName{Origin::File, "datei"},
    OriginName{Origin::Restored, "wiederhergestellt"},
    OriginName{Origin::ChangedAtExchange, "anlage"},
};

const char* OriginKey(Origin origin) {
    for (const OriginName& o : OriginNames)
        if (o.origin == origin)
            return o.key;
    return "gelesen";
}

std::optional<Origin> OriginFromKey(const QByteArray& key) {
    for (const OriginName& o : OriginNames)
        if (key == o.key)
            return o.origin;
    return std::nullopt;
}

// "2026-12-07T09:05:00Z", read by hand: it is the one format the index holds, and a
// history of thousands of lines opens noticeably faster than through the general parser.
QDateTime ParseTime(const QByteArray& t) {
    static constexpr char Shape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (t.size() != qsizetype(sizeof Shape - 1))
        return {};
    for (qsizetype i = 0; i < t.size(); ++i) {
        const bool digit = t[i] >= '0' && t[i] <= '9';
        if (Shape[i] == 'd' ? !digit : t[i] != Shape[i])
            return {};
    }
    const auto n = [&t](int at, int width) {
        int v = 0;
        for (int i = at; i < at + width; ++i)
            v = v * 10 + (t[i] - '0');
        return v;
    };
    const QDate date(n(0, 4), n(5, 2), n(8, 2));
    const QTime time(n(11, 2), n(14, 2), n(17, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

bool IsKey(const QByteArray& key) {
    return key.size() == KeyLength && std::all_of(key.begin(), key.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// Only a plain name inside the directory: an index edited by hand must not send a
// load elsewhere.
bool IsEntryName(const QString& name) {
    if (!name.endsWith(QStringLiteral(".vrn")) || name.size() > 100)
        return false;
    return std::all_of(name.begin(), name.end(),
                       [](QChar c) {
                           return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
                                  (c >= u'A' && c <= u'Z') || c == u'_' || c == u'-' || c == u'.';
                       }) &&
           !name.startsWith(u'.');
}

QString CleanDetail(const QString& detail) {
    QString clean = detail.left(DetailLength);
    for (QChar& c : clean)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    return clean;
}

QString Skipped(int line, const QString& why) {
    return QStringLiteral("Konfigurationsverlauf, Zeile %1 übersprungen: %2").arg(line).arg(why);
}

} // namespace

QString OriginText(Origin origin, const QString& detail) {
    switch (origin) {
    case Origin::Read:
        return QStringLiteral("gelesen");
    case Origin::Written:
        return QStringLiteral("geschrieben");
    case Origin::Schedule:
        return QStringLiteral("Zeitpunkt ") + detail;
    case Origin::File:
        return QStringLiteral("Datei ") + detail;
    case Origin::Restored:
        return QStringLiteral("wiederhergestellt");
    case Origin::ChangedAtExchange:
        return QStringLiteral("an der Anlage geändert");
    }
    return {};
}

ConfigHistory::ConfigHistory(QString directory, Clock clock)
    : m_directory(std::move(directory)), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTimeUtc(); };
}

QString ConfigHistory::DefaultDirectory() {
    return platform::programfiles::UserDataDirectory() + QStringLiteral("/Verlauf");
}

QString ConfigHistory::IndexPath() const {
    return m_directory + u'/' + IndexName;
}

QString ConfigHistory::FilePath(const HistoryVersion& version) const {
    return m_directory + u'/' + version.file;
}

QByteArray ConfigHistory::Key(const ConfigImage& image) {
    const QByteArray bytes = ConfigurationOnly(image).ToByteArray();
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).left(KeyLength / 2).toHex();
}

const HistoryVersion* ConfigHistory::Find(int id) const {
    const auto it = std::lower_bound(m_versions.begin(), m_versions.end(), id,
                                     [](const HistoryVersion& v, int i) { return v.id < i; });
    return it != m_versions.end() && it->id == id ? &*it : nullptr;
}

void ConfigHistory::Open() {
    ReadIndex();
}

std::array<qint64, 4> ConfigHistory::IndexStamp() const {
    struct stat st {};
    if (::stat(QFile::encodeName(IndexPath()).constData(), &st) != 0)
        return {};
    return {qint64(st.st_ino), qint64(st.st_size), qint64(st.st_ctim.tv_sec),
            qint64(st.st_ctim.tv_nsec)};
}

void ConfigHistory::ReadIndex() {
    m_indexStamp = IndexStamp();
    m_versions.clear();
    m_byKey.clear();
    m_unusable.clear();
    m_problems.clear();
    m_highestId = 0;

    if (!QFileInfo::exists(IndexPath()))
        return;
    // Never waits on a FIFO in its place.
    int error = 0;
    bool tooLarge = false;
    const std::optional<QByteArray> read =
        platform::ReadRegular(IndexPath(), LargestIndex, &error, &tooLarge);
    if (tooLarge) {
        m_problems << QStringLiteral("Konfigurationsverlauf %1 ist zu groß und wird nicht gelesen")
                          .arg(IndexPath());
        return;
    }
    if (!read) {
        m_problems << QStringLiteral("Konfigurationsverlauf %1 kann nicht gelesen werden: %2")
                          .arg(IndexPath(), error == platform::kNotRegularFile
                                                ? QStringLiteral("keine gewöhnliche Datei")
                                                : QString::fromLocal8Bit(::strerror(error)));
        return;
    }
    const QByteArray& all = *read;
    QHash<int, bool> ids;
    int number = 0;
    for (qsizetype start = 0; start < all.size();) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        const QByteArray line = all.mid(start, end - start);
        start = end + 1;
        ++number;
        if (line.isEmpty() || line.startsWith('#'))
            continue;

        const auto skip = [&](const QString& why) {
            m_problems << Skipped(number, why);
            m_unusable << line;
        };
        const QList<QByteArray> f = line.split('\t');
        bool idOk = false;
        const int id = f.value(0).toInt(&idOk);
        if (idOk && id > 0)
            m_highestId = std::max(m_highestId, id);
        if (f.size() != Fields) {
            skip(QStringLiteral("%1 statt %2 Spalten").arg(f.size()).arg(Fields));
            continue;
        }
        if (!idOk || id <= 0) {
            skip(QStringLiteral("keine Versionsnummer"));
            continue;
        }
        HistoryVersion v;
        v.id = id;
        v.time = ParseTime(f[1]);
        const std::optional<Origin> origin = OriginFromKey(f[2]);
        v.key = f[3];
        v.file = QString::fromUtf8(f[4]);
        v.detail = QString::fromUtf8(f[5]);
        if (!v.time.isValid())
            skip(QStringLiteral("ungültige Zeit"));
        else if (!origin)
            skip(QStringLiteral("unbekannte Herkunft"));
        else if (!IsKey(v.key))
            skip(QStringLiteral("ungültige Kennung"));
        else if (!IsEntryName(v.file))
            skip(QStringLiteral("ungültiger Dateiname"));
        else if (ids.contains(id))
            skip(QStringLiteral("Nummer %1 doppelt").arg(id));
        else if (m_byKey.contains(v.key))
            skip(QStringLiteral("Konfiguration schon als Nummer %1 vorhanden")
                     .arg(m_versions[std::size_t(m_byKey.value(v.key))].id));
        else {
            v.origin = *origin;
            ids.insert(id, true);
            m_byKey.insert(v.key, int(m_versions.size()));
            m_versions.push_back(std::move(v));
        }
    }
    if (!std::is_sorted(m_versions.begin(), m_versions.end(),
                        [](const auto& a, const auto& b) { return a.id < b.id; })) {
        std::sort(m_versions.begin(), m_versions.end(),
                  [](const auto& a, const auto& b) { return a.id < b.id; });
        m_byKey.clear();
        for (std::size_t i = 0; i < m_versions.size(); ++i)
            m_byKey.insert(m_versions[i].key, int(i));
    }
}

bool ConfigHistory::WriteIndex() const {
    QByteArray out(Header);
    out.reserve(qsizetype(m_versions.size()) * 120 + 200);
    for (const HistoryVersion& v : m_versions) {
        out += QByteArray::number(v.id) + '\t' + v.time.toUTC().toString(Qt::ISODate).toLatin1() +
               '\t' + OriginKey(v.origin) + '\t' + v.key + '\t' + v.file.toUtf8() + '\t' +
               v.detail.toUtf8() + '\n';
    }
    for (const QByteArray& line : m_unusable)
        out += line + '\n';
    return platform::ReplaceFile(IndexPath(), out);
}

void ConfigHistory::Repair(const HistoryVersion& version, const ConfigImage& kept) const {
    // Looked at on every read that sees the configuration again: never waits on
    // whatever took the file's place.
    int fehler = 0;
    if (platform::ReadRegular(FilePath(version), ConfigImage::Size + 1, &fehler) ==
        kept.ToByteArray())
        return;
    SaveParameterFile(FilePath(version), kept);
}

RecordResult ConfigHistory::Record(const ConfigImage& image, Origin origin, const QString& detail) {
    const ConfigImage kept = ConfigurationOnly(image);
    const QByteArray key = Key(kept);
    const auto known = [&]() -> std::optional<RecordResult> {
        const auto it = m_byKey.constFind(key);
        if (it == m_byKey.constEnd())
            return std::nullopt;
        const HistoryVersion& v = m_versions[std::size_t(*it)];
        Repair(v, kept);
        return RecordResult{false, v.id, {}};
    };
    if (auto r = known())
        return *r;

    if (!QDir().mkpath(m_directory))
        return {false, 0,
                QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(m_directory)};
    TIndexLock lock(m_directory + u'/' + LockName);
    if (!lock.take(LockWaitMs))
        return {false, 0, QStringLiteral("Konfigurationsverlauf %1 ist gesperrt").arg(m_directory)};
    // Another process may have added to the index since it was read. The index is
    // replaced by a rename each time, so its inode alone would tell.
    if (IndexStamp() != m_indexStamp || m_indexStamp == std::array<qint64, 4>{})
        ReadIndex();
    if (auto r = known())
        return *r;

    HistoryVersion v;
    v.id = m_highestId + 1;
    // Whole seconds, as the index keeps them; a clock without a usable date gives 1970.
    const QDateTime now = m_clock();
    const bool usable = now.isValid() && now.date().year() >= 1970 && now.date().year() <= 9999;
    v.time = QDateTime::fromSecsSinceEpoch(usable ? now.toSecsSinceEpoch() : 0, Qt::UTC);
    v.origin = origin;
    v.detail = CleanDetail(detail);
    v.key = key;
    v.file = QStringLiteral("%1_%2.vrn")
                 .arg(v.id, 6, 10, QChar(u'0'))
                 .arg(v.time.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    if (!SaveParameterFile(FilePath(v), kept))
        return {false, 0,
                QStringLiteral("Datei %1 konnte nicht gespeichert werden").arg(FilePath(v))};

    m_byKey.insert(v.key, int(m_versions.size()));
    m_versions.push_back(v);
    if (!WriteIndex()) {
        m_versions.pop_back();
        m_byKey.remove(v.key);
        return {false, 0,
                QStringLiteral("Konfigurationsverlauf %1 konnte nicht gespeichert werden")
                    .arg(IndexPath())};
    }
    m_highestId = v.id;
    m_indexStamp = IndexStamp();
    return {true, v.id, {}};
}

std::optional<ConfigImage> ConfigHistory::Load(int id, QString* reason) const {
    const auto fail = [reason](const QString& why) -> std::optional<ConfigImage> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    const HistoryVersion* v = Find(id);
    if (!v)
        return fail(QStringLiteral("Version %1 gibt es im Konfigurationsverlauf nicht").arg(id));
    int fehler = 0;
    const std::optional<QByteArray> gelesen =
        platform::ReadRegular(FilePath(*v), ConfigImage::Size + 1, &fehler);
    if (!gelesen)
        return fail(QStringLiteral("Version %1: Datei %2 kann nicht gelesen werden")
                        .arg(id)
                        .arg(FilePath(*v)));
    const QByteArray& bytes = *gelesen;
    if (bytes.size() != ConfigImage::Size)
        return fail(
            QStringLiteral("Version %1: Datei %2 hat %3 Bytes")
                .arg(id)
                .arg(FilePath(*v),
                     bytes.size() > ConfigImage::Size
                         ? QStringLiteral("mehr als %1").arg(ConfigImage::Size)
                         : QStringLiteral("%1 statt %2").arg(bytes.size()).arg(ConfigImage::Size)));
    ConfigImage image;
    std::copy(bytes.begin(), bytes.end(), image.Bytes().begin());
    if (Key(image) != v->key)
        return fail(
            QStringLiteral("Version %1: Datei %2 ist beschädigt").arg(id).arg(FilePath(*v)));
    return image;
}

} // namespace config
