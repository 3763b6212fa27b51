// Prints the main window's report into a PDF file instead of the default printer,
// through the window's own print handler, to look at the page without paper.
#include "VarnoDevice.h"
#include "app/HauptFormular.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

// Nothing is read or written: the page comes from the simulator's default image.
class TSilentLine : public device::TLine {
public:
    void Open(const QString&) override { m_open = true; }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    bool Send(QByteArrayView) override { return true; }
    void SetListener(device::TLineListener*) override {}

private:
    bool m_open = false;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: winvarno-report-pdf OUT.pdf [PORTS]\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    const QString ini = home.filePath(QStringLiteral("WinVarno.INI"));
    QFile f(ini);
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write("[Allgemein]\nAnschluß=COM1\nKosten=0,12\n[Bezeichnungen]\n21=Empfang\n22=Büro Nord\n"
            "23=Fax\n24=Lager\n25=Werkstatt\n27=Konferenz\n28=Modem\n"
            "[AlteEinheiten]\n21=100\n[AlteKosten]\n21=11,50\n");
    f.close();

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QDir::current().absoluteFilePath(args[1]));
    printer.setPageSize(QPageSize(QPageSize::A4));

    TUmgebung env;
    // Its own exchange, never a service winvarnod on the user's session bus.
    env.dienstBus = [] { return QDBusConnection(QStringLiteral("winvarno-ohne-dienst")); };
    env.settingsPath = ini;
    env.programPath = home.filePath(QStringLiteral("WinVarno"));
    env.line = std::make_shared<TSilentLine>();
    env.drucker = [&printer]() -> QPaintDevice* { return &printer; };
    THauptFenster w(env);
    const varnosim::TImage image = varnosim::DefaultImage();
    std::copy(image.begin(), image.end(), w.Sitzung().Image().Bytes().begin());
    if (args.size() > 2)
        w.Sitzung().Image().BasicBlock()[config::basic::PortCount] = std::uint8_t(args[2].toInt());
    w.DecodeBasicBlock();
    w.DecodeTerminalBlock();
    w.EvaluateCharges();
    w.DruckenButtonClick();
    w.BeendenButtonClick();
    return QFile::exists(printer.outputFileName()) ? 0 : 1;
}
