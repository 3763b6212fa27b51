#include "platform/IniFile.h"

#include "platform/UserFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QStringDecoder>
#include <cerrno>
#include <climits>

namespace platform {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; unassigned codes map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString SectionName(const QString& line) {
    const QString t = line.trimmed();
    if (!t.startsWith(u'['))
        return {};
    const qsizetype close = t.indexOf(u']');
    return close < 0 ? t.mid(1).trimmed() : t.mid(1, close - 1).trimmed();
}

bool IsSection(const QString& line) {
    return line.trimmed().startsWith(u'[');
}

// Returns the key of a "key=value" line, or a null string.
QString KeyOf(const QString& line) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return {};
    const QString key = line.left(eq).trimmed();
    return key.startsWith(u';') ? QString() : key;
}

QString ValueOf(const QString& line) {
    QString v = line.mid(line.indexOf(u'=') + 1).trimmed();
    if (v.size() >= 2 &&
        ((v.front() == u'"' && v.back() == u'"') || (v.front() == u'\'' && v.back() == u'\'')))
        v = v.mid(1, v.size() - 2);
    return v;
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString DecodeLine(const QByteArray& raw) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(raw.size());
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

IniFile::IniFile(QString path) : m_path(std::move(path)) {
    bool truncated = false;
    const std::optional<QByteArray> read = ReadRegular(m_path, kSizeLimit, &m_error, &truncated);
    if (!read || truncated) {
        // Saving what was never read (whole) would replace the user's file with our
        // keys alone.
        if (truncated)
            m_error = EFBIG;
        m_unreadable = m_error != ENOENT && m_error != ENOTDIR;
        if (!m_unreadable)
            m_error = 0;
        return;
    }
    const QByteArray& all = *read;
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype nl = all.indexOf('\n', start);
        Line line;
        if (nl < 0) {
            line.raw = all.mid(start);
            nl = all.size();
        } else {
            const bool cr = nl > start && all[nl - 1] == '\r';
            line.raw = all.mid(start, nl - start - (cr ? 1 : 0));
            line.end = cr ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
        }
        line.text = DecodeLine(line.raw);
        m_lines.push_back(std::move(line));
        start = nl + 1;
    }
}

QString IniFile::SettingsPath() {
    QString dir = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (dir.isEmpty() || !QDir::isAbsolutePath(dir))
        dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QStringLiteral("/WinVarno.INI");
}

IniFile::Found IniFile::find(const QString& section, const QString& key) const {
    Found found;
    bool inSection = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const QString& text = m_lines[i].text;
        if (IsSection(text)) {
            if (inSection)
                break; // only the first matching section counts
            if (SameName(SectionName(text), section)) {
                inSection = true;
                found.sectionLine = i;
                found.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!text.trimmed().isEmpty())
            found.sectionEnd = i + 1;
        const QString k = KeyOf(text);
        if (!found.keyLine && !k.isNull() && SameName(k, key))
            found.keyLine = i;
    }
    return found;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const Found f = find(section, key);
    if (!f.keyLine)
        return std::nullopt;
    return ValueOf(m_lines[*f.keyLine].text);
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    return value(section, key).value_or(def);
}

QStringList IniFile::keys(const QString& section) const {
    QStringList out;
    QSet<QString> seen;
    bool inSection = false;
    for (const Line& line : m_lines) {
        if (IsSection(line.text)) {
            if (inSection)
                break;
            inSection = SameName(SectionName(line.text), section);
            continue;
        }
        const QString k = inSection ? KeyOf(line.text) : QString();
        if (!k.isEmpty() && !seen.contains(k.toLower())) {
            seen.insert(k.toLower());
            out << k;
        }
    }
    return out;
}

std::optional<int> IniFile::ParseInt(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    qlonglong v = 0;
    if (t.startsWith(u'$'))
        v = t.mid(1).toLongLong(&ok, 16);
    else if (t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        v = t.mid(2).toLongLong(&ok, 16);
    else
        v = t.toLongLong(&ok, 10);
    // Hex digits only, no sign after a prefix; anything out of range counts as absent.
    if (!ok || v < INT_MIN || v > INT_MAX)
        return std::nullopt;
    if ((t.startsWith(u'$') || t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) &&
        (t.contains(u'-') || t.contains(u'+')))
        return std::nullopt;
    return static_cast<int>(v);
}

int IniFile::readInt(const QString& section, const QString& key, int def) const {
    const auto v = value(section, key);
    if (!v)
        return def;
    return ParseInt(*v).value_or(def);
}

QByteArray IniFile::lineEnd() const {
    for (const Line& l : m_lines)
        if (!l.end.isEmpty())
            return l.end;
    return QByteArrayLiteral("\n");
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    const Found f = find(section, key);
    const QByteArray eol = lineEnd();
    Line line;
    if (f.keyLine) {
        Line& old = m_lines[*f.keyLine];
        // Keep the key as it is spelled in the file.
        const QString spelled = old.text.left(old.text.indexOf(u'=')).trimmed();
        old.text = spelled + u'=' + value;
        old.raw = old.text.toUtf8();
        return;
    }
    line.text = key + u'=' + value;
    line.raw = line.text.toUtf8();
    line.end = eol;
    if (!m_lines.empty() && m_lines.back().end.isEmpty())
        m_lines.back().end = eol; // the last line had no line end
    if (f.sectionLine) {
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(f.sectionEnd), line);
        return;
    }
    if (!m_lines.empty() && !m_lines.back().text.trimmed().isEmpty())
        m_lines.push_back(Line{QByteArray(), eol, QString()});
    const QString header = u'[' + section + u']';
    m_lines.push_back(Line{header.toUtf8(), eol, header});
    m_lines.push_back(line);
}

QByteArray IniFile::bytes() const {
    QByteArray out;
    for (const Line& l : m_lines)
        out += l.raw + l.end;
    return out;
}

bool IniFile::save() {
    if (m_unreadable)
        return false;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    return ReplaceFile(m_path, bytes(), &m_error);
}

} // namespace platform
