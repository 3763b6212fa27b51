#include "AviTestClips.h"

#include <QDir>
#include <QFile>

namespace avitest {
namespace {

void U16(QByteArray& b, quint32 v) {
    b.append(char(v & 0xff));
    b.append(char(v >> 8 & 0xff));
}
void U32(QByteArray& b, quint32 v) {
    U16(b, v & 0xffff);
    U16(b, v >> 16);
}
QByteArray Chunk(const char* id, const QByteArray& body) {
    QByteArray b(id, 4);
    U32(b, quint32(body.size()));
    b += body;
    if (body.size() & 1)
        b.append('\0');
    return b;
}
QByteArray List(const char* type, const QByteArray& items) {
    return Chunk("LIST", QByteArray(type, 4) + items);
}
QByteArray StreamHeader(const char* type, const TSpec& s, quint32 length) {
    QByteArray b(type, 4);
    U32(b, 0); // handler
    U32(b, 0); // flags
    U32(b, 0); // priority, language
    U32(b, 0); // initial frames
    U32(b, s.scale);
    U32(b, s.rate);
    U32(b, 0); // start
    U32(b, length);
    for (int i = 0; i < 3; ++i)
        U32(b, 0);
    U32(b, 0); // frame rectangle
    U32(b, 0);
    return b;
}

} // namespace

QByteArray Build(const TSpec& s) {
    QByteArray avih;
    U32(avih, s.usPerFrame);
    for (int i = 0; i < 3; ++i)
        U32(avih, 0);
    U32(avih, quint32(s.frames.size()));
    U32(avih, 0);
    U32(avih, s.audioFirst ? 2 : 1);
    U32(avih, 0);
    U32(avih, quint32(s.width));
    U32(avih, quint32(s.height));
    for (int i = 0; i < 4; ++i)
        U32(avih, 0);

    QByteArray strf;
    U32(strf, 40);
    U32(strf, quint32(s.width));
    U32(strf, quint32(s.height));
    U16(strf, 1);
    U16(strf, quint32(s.bitCount));
    U32(strf, quint32(s.compression));
    for (int i = 0; i < 3; ++i)
        U32(strf, 0);
    U32(strf, s.colours == 256 ? 0 : quint32(s.colours));
    U32(strf, 0);
    for (int i = 0; i < s.colours && i < 256; ++i)
        U32(strf, quint32(i * 0x010101)); // a grey ramp: blue = green = red = i
    for (int i = 256; i < s.colours; ++i)
        U32(strf, 0);

    const quint32 length = s.length < 0 ? quint32(s.frames.size()) : quint32(s.length);
    QByteArray streams;
    if (s.audioFirst)
        streams += List("strl", Chunk("strh", StreamHeader("auds", s, 0)) +
                                    Chunk("strf", QByteArray(16, '\0')));
    streams += List("strl", Chunk("strh", StreamHeader("vids", s, length)) + Chunk("strf", strf));

    const QByteArray tag = s.audioFirst ? "01" : "00";
    QByteArray frames;
    for (const QByteArray& f : s.frames) {
        if (s.audioFirst)
            frames += Chunk("00wb", QByteArray(3, 'a'));
        frames += Chunk((tag + (s.compression == 1 ? "dc" : "db")).constData(), f);
    }
    if (s.recList)
        frames = List("rec ", frames);

    QByteArray body = List("hdrl", Chunk("avih", avih) + streams);
    if (s.junk)
        body += Chunk("JUNK", QByteArray(7, 'j'));
    body += List("movi", frames);
    body += Chunk("idx1", QByteArray(16 * s.frames.size(), '\0'));
    return Chunk("RIFF", QByteArray("AVI ") + body);
}

QByteArray RgbFrame(int width, int height, int base) {
    const int stride = (width + 3) & ~3;
    QByteArray b(stride * height, '\0');
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        for (int x = 0; x < width; ++x)
            b[row * stride + x] = char(base + x + 10 * y);
    }
    return b;
}

QList<qsizetype> Find(const QByteArray& file, const char* id) {
    QList<qsizetype> out;
    for (qsizetype at = file.indexOf(id); at >= 0; at = file.indexOf(id, at + 1))
        out << at;
    return out;
}

quint32 Le32(const QByteArray& b, qsizetype at) {
    const auto* p = reinterpret_cast<const uchar*>(b.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

void SetLe32(QByteArray& b, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(value >> (8 * i) & 0xff);
}

QString Put(const QString& dir, const QString& name, const QByteArray& bytes) {
    const QString path = QDir(dir).filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

} // namespace avitest
