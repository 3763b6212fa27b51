#pragma once

// Builds small AVI files for tests, correct unless told otherwise.
#include <QByteArray>
#include <QList>
#include <QString>

namespace avitest {

struct TSpec {
    int width = 4;
    int height = 3; // negative: top-down
    int bitCount = 8;
    int compression = 0; // 0 BI_RGB, 1 BI_RLE8
    int colours = 256;   // palette entries written; 256 is written as "0 used"
    QList<QByteArray> frames;
    qint64 length = -1; // the stream header's frame count; -1: the real count
    quint32 usPerFrame = 50000;
    quint32 scale = 1, rate = 20;
    bool audioFirst = false; // an audio stream before the video stream
    bool recList = false;    // frames inside a "rec " list
    bool junk = false;       // a JUNK chunk before the movie list
};

QByteArray Build(const TSpec& spec);

// An uncompressed frame, rows bottom-up and padded to 4 bytes; pixel (x, y) has
// index base + x + 10 * y, counted from the top.
QByteArray RgbFrame(int width, int height, int base);

// Offsets of every place where the four-character id occurs.
QList<qsizetype> Find(const QByteArray& file, const char* id);

quint32 Le32(const QByteArray& b, qsizetype at);
void SetLe32(QByteArray& b, qsizetype at, quint32 value);

// Writes bytes to a file in dir and returns its path.
QString Put(const QString& dir, const QString& name, const QByteArray& bytes);

} // namespace avitest
