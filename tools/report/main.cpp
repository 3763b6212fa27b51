// winvarno-report: units and costs per day, month or year from the charge log, as a
// table or as CSV for spreadsheets. It links no widgets, so it starts at once; for a
// chart (--plot) it hands over to winvarno-report-plot beside it.
#include "Report.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--plot") != 0 && qstrncmp(argv[i], "--plot=", 7) != 0)
            continue;
        const QByteArray plotter = QFile::encodeName(
            QDir(QCoreApplication::applicationDirPath()).filePath("winvarno-report-plot"));
        ::execv(plotter.constData(), argv);
        report::Fehler(
            QStringLiteral("%1 kann nicht gestartet werden: %2")
                .arg(QFile::decodeName(plotter), QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
    }
    return report::Run(app, nullptr);
}
