// Writes the program icon as hicolor theme PNGs: OUTDIR/NxN/apps/NAME.png.
#include "app/Glyphs.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char** argv) {
    // Painting into a QImage needs no window system, so this also runs on a build machine
    // without a display or platform plugin.
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: winvarno-icongen OUTDIR NAME\n");
        return 2;
    }
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        // Drawn anew at each size from 32 up, so the handset's curve stays fine.
        const QImage img = app::ProgramIconImage(size);
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args[1]).arg(size);
        const QString file = dir + u'/' + args[2] + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !img.save(file, "PNG")) {
            std::fprintf(stderr, "winvarno-icongen: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
