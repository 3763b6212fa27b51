#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace platform {

// A settings file with the private-profile rules: section and key names compared
// without regard to case, first match wins, values trimmed (one pair of enclosing
// quotes removed), integers decimal or hexadecimal after "0x" or "$". A value that
// is not an integer counts as absent for readInt.
//
// The file is read whole on construction and written whole by save(), which
// replaces it atomically. Lines that are not touched keep every byte, whatever
// their encoding: a line is decoded as UTF-8, or as Windows-1252 when it is not
// valid UTF-8, so a file written on a Windows PC still works.
class IniFile {
public:
    // Reads the file; a missing or unreadable file reads as empty (and an existing
    // one that cannot be read is never saved over). Only a regular file is read: a
    // FIFO or a device in its place is refused at once, never waited for.
    explicit IniFile(QString path);

    // "$XDG_CONFIG_HOME/WinVarno.INI", by default "~/.config/WinVarno.INI".
    static QString SettingsPath();

    const QString& path() const { return m_path; }

    std::optional<QString> value(const QString& section, const QString& key) const;
    QString readString(const QString& section, const QString& key, const QString& def) const;
    int readInt(const QString& section, const QString& key, int def) const;
    // The keys of the first matching section in file order, each once as first spelled.
    QStringList keys(const QString& section) const;

    // Changes the key's line in memory (or appends the key to its section, or the
    // section to the file). Nothing reaches the disk before save().
    void writeString(const QString& section, const QString& key, const QString& value);

    // Writes a temporary file beside the target (through symbolic links) and renames
    // it over the target once it is wholly on disk. Returns false (and leaves the old
    // file as it was, byte for byte) when that fails, or when the file exists but
    // could not be read.
    bool save();

    // Why the file could not be read or the last save failed: an errno value or
    // platform::kNotRegularFile; 0 when nothing failed (a missing file is no failure).
    int error() const { return m_error; }
    // The file exists but could not be read whole.
    bool unreadable() const { return m_unreadable; }

    // The raw bytes as they would be saved.
    QByteArray bytes() const;

    // Parses an integer the private-profile way; nullopt when it is none.
    static std::optional<int> ParseInt(const QString& text);

private:
    struct Line {
        QByteArray raw; // the bytes of the line, without its line end
        QByteArray end; // its line end as found ("\r\n", "\n" or empty at EOF)
        QString text;   // decoded
    };
    struct Found {
        std::optional<size_t> sectionLine; // header line of the first matching section
        std::optional<size_t> keyLine;     // first matching key line inside it
        size_t sectionEnd = 0;             // index after the last line of that section
    };
    Found find(const QString& section, const QString& key) const;
    QByteArray lineEnd() const;

    // Far beyond any settings file; a larger one is not read into memory.
    static constexpr qint64 kSizeLimit = qint64(64) << 20;

    QString m_path;
    std::vector<Line> m_lines;
    bool m_unreadable = false;
    int m_error = 0;
};

// Decodes bytes as UTF-8, or as Windows-1252 when they are not valid UTF-8.
QString DecodeLine(const QByteArray& raw);

} // namespace platform
