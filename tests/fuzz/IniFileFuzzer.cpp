// A settings file of any bytes: reading it must keep it byte for byte, every key
// must be readable, and writing one key must leave every other line's bytes as
// they were.
#include "fuzz/FuzzSupport.h"
#include "platform/IniFile.h"

#include <QList>
#include <QStringList>
#include <cstdint>

using platform::IniFile;

namespace {

// Lines with their own line ends, the way the bytes are laid out on disk.
QList<QByteArray> Lines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', start);
        if (nl < 0)
            nl = bytes.size() - 1;
        lines.append(bytes.mid(start, nl - start + 1));
        start = nl + 1;
    }
    return lines;
}

QByteArray FirstLineEnd(const QByteArray& bytes) {
    const qsizetype nl = bytes.indexOf('\n');
    if (nl > 0 && bytes[nl - 1] == '\r')
        return QByteArrayLiteral("\r\n");
    return QByteArrayLiteral("\n");
}

// Names of the form the program writes, and some taken from the file itself.
struct Target {
    QString section;
    QString key;
};

QList<Target> Targets(const IniFile& ini, const QByteArray& bytes) {
    QList<Target> targets{{QStringLiteral("Zeitpunkt1"), QStringLiteral("Zeit")},
                          {QStringLiteral("fenster"), QStringLiteral("X-POSITION")},
                          {QStringLiteral("Allgemein"), QStringLiteral("Anschluß")}};
    QString section;
    int seen = 0;
    for (const QByteArray& raw : Lines(bytes)) {
        if (++seen > 64)
            break;
        const QString line = platform::DecodeLine(raw).trimmed();
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            section = (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && !line.startsWith(u';'))
            targets.append({section, line.left(eq).trimmed()});
    }
    // Every key must read without harm, as text and as a number.
    for (const Target& t : targets) {
        (void)ini.readString(t.section, t.key, QString());
        (void)ini.readInt(t.section, t.key, -1);
    }
    return targets;
}

// Names the program could never find again (a "]" ends a section name, a "="
// ends a key) are no fair test of the writer.
bool Writable(const Target& t) {
    const auto plain = [](const QString& s) {
        return !s.isEmpty() && s == s.trimmed() && !s.contains(u'=') && !s.contains(u']') &&
               !s.contains(u'[') && !s.contains(u'\n') && !s.contains(u'\r') && !s.startsWith(u';');
    };
    return plain(t.section) && plain(t.key);
}

void CheckWrite(const QByteArray& bytes, const Target& t, const QString& value) {
    IniFile ini(fuzz::ScratchPath());
    const bool existed = ini.value(t.section, t.key).has_value();
    ini.writeString(t.section, t.key, value);
    FUZZ_CHECK(ini.value(t.section, t.key) == value);

    QList<QByteArray> before = Lines(bytes);
    const QList<QByteArray> after = Lines(ini.bytes());
    if (existed) {
        // The key's own line changes in place; nothing else does.
        FUZZ_CHECK(after.size() == before.size());
        int changed = 0;
        for (qsizetype i = 0; i < before.size(); ++i)
            changed += before[i] != after[i];
        FUZZ_CHECK(changed <= 1);
        return;
    }
    // A new key comes as one block of up to three lines (blank, header, key); a
    // last line without its line end gets one so the block does not join it.
    if (!before.isEmpty() && !before.back().endsWith('\n'))
        before.back() += FirstLineEnd(bytes);
    const qsizetype added = after.size() - before.size();
    FUZZ_CHECK(added >= 1 && added <= 3);
    qsizetype prefix = 0;
    while (prefix < before.size() && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < before.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    FUZZ_CHECK(prefix + suffix == before.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    fuzz::WriteScratch(fuzz::ScratchPath(), bytes);

    const IniFile ini(fuzz::ScratchPath());
    FUZZ_CHECK(ini.bytes() == bytes);

    static const QStringList values{QString(), QStringLiteral("0x7fffffff"), QStringLiteral("Büro"),
                                    QStringLiteral("/home/ich/Parameter Datei.VRN")};
    const QList<Target> targets = Targets(ini, bytes);
    int written = 0;
    for (qsizetype i = 0; i < targets.size() && written < 4; ++i) {
        if (!Writable(targets[i]))
            continue;
        CheckWrite(bytes, targets[i], values[written % values.size()]);
        ++written;
    }
    return 0;
}
