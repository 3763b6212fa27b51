#pragma once

#include "config/ConfigImage.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace config {

// Where a configuration came from when it was first seen.
enum class Origin {
    Read,              // "gelesen"
    Written,           // "geschrieben"
    Schedule,          // "Zeitpunkt n", detail n
    File,              // "Datei name", detail the file's name
    Restored,          // "wiederhergestellt"
    ChangedAtExchange, // "an der Anlage geändert"
};

// The German text of an origin with its detail, e.g. "Zeitpunkt 2".
QString OriginText(Origin origin, const QString& detail);

struct HistoryVersion {
    int id = 0;     // 1, 2, ... in the order first seen
    QDateTime time; // UTC
    Origin origin = Origin::Read;
    QString detail; // see Origin
    QByteArray key; // the configuration's fingerprint (hex)
    QString file;   // the parameter file's name inside the history directory
};

struct RecordResult {
    bool isNew = false; // stored now; false when the configuration was kept already
    int id = 0;         // the version holding the configuration; 0 when it was not kept
    QString error;      // why it was not kept, for the user
};

// Every distinct configuration (basic and terminal blocks as the write sends them,
// see ConfigurationOnly) kept once as an ordinary 588-byte parameter file, named after
// its number and time, plus an index of number, time, origin and fingerprint.
//
// A file is always written whole before the index names it, and the index is
// replaced whole, so a crash at any moment leaves the old history or the new one
// (at worst an unnamed file, used again when the same configuration comes back).
// Several processes may record at once: the index is re-read under a lock before
// each addition. Unusable index lines are skipped with a reason, and written back
// unchanged; a damaged file shows when it is loaded, and is rewritten when its
// configuration is seen again.
class ConfigHistory {
public:
    using Clock = std::function<QDateTime()>;

    // `clock` gives the time of new versions; by default the system's.
    explicit ConfigHistory(QString directory, Clock clock = {});

    // "$XDG_DATA_HOME/WinVarno/Verlauf", by default "~/.local/share/WinVarno/Verlauf".
    static QString DefaultDirectory();

    const QString& Directory() const { return m_directory; }
    QString IndexPath() const;

    // Reads the index (none yet: an empty history). Its reasons replace Problems().
    void Open();

    const std::vector<HistoryVersion>& Versions() const { return m_versions; }
    // Why index lines were skipped, in German; empty when all were usable.
    const QStringList& Problems() const { return m_problems; }
    const HistoryVersion* Find(int id) const;
    QString FilePath(const HistoryVersion& version) const;

    // Keeps the configuration of `image` unless it is kept already.
    RecordResult Record(const ConfigImage& image, Origin origin, const QString& detail = {});

    // The stored image of a version (charge block zero); nullopt with the reason when
    // the version does not exist or its file is missing or damaged.
    std::optional<ConfigImage> Load(int id, QString* reason = nullptr) const;

    // The fingerprint under which a configuration is kept.
    static QByteArray Key(const ConfigImage& image);

private:
    void ReadIndex();
    std::array<qint64, 4> IndexStamp() const;
    bool WriteIndex() const;
    void Repair(const HistoryVersion& version, const ConfigImage& kept) const;

    QString m_directory;
    Clock m_clock;
    std::vector<HistoryVersion> m_versions; // ascending ids
    QHash<QByteArray, int> m_byKey;         // key -> index into m_versions
    QList<QByteArray> m_unusable;           // skipped lines, written back as they were
    int m_highestId = 0;                    // over every line, usable or not
    // The index as last read or written (inode, size, change time): unchanged, it
    // need not be read again before an addition.
    std::array<qint64, 4> m_indexStamp{};
    QStringList m_problems;
};

} // namespace config
