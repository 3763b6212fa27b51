// winvarno-report-plot: winvarno-report with the chart, rendered by the window's own
// chart code into a PNG, SVG or PDF file; winvarno-report starts it for --plot.
#include "Report.h"
#include "app/VerlaufDiagramm.h"
#include "catalogue/Catalogue.h"
#include "platform/UserFile.h"

#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>

namespace {

// Renders the chart into `path`, the format chosen by its extension; written
// beside and renamed into place once wholly on disk.
bool Zeichne(const std::vector<charges::PeriodCosts>& rows,
             const std::array<QString, charges::kHistoryPorts>& names, charges::Period period,
             const QString& path) {
    const QByteArray ext = report::ChartFormat(path).value_or("png");
    // Wide enough for every period's bar.
    const QSize size(std::clamp(200 + 26 * int(rows.size()), 800, 4000), 560);
    QGraphicsScene scene;
    QChart* chart = app::KostenDiagramm(rows, names, period, QLocale::system());
    scene.addItem(chart);
    chart->resize(size);
    QCoreApplication::processEvents(); // lets the chart lay itself out

    // Rendered in memory first: a painter device cannot tell of a failed write.
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    const QRectF source{QPointF(), QSizeF(size)};
    bool ok = true;
    if (ext == "png") {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, QRectF(image.rect()), source);
        painter.end();
        ok = image.save(&file, "PNG");
    } else if (ext == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(), size));
        svg.setTitle(chart->title());
        QPainter painter(&svg);
        scene.render(&painter, source, source);
    } else {
        QPdfWriter pdf(&file);
        pdf.setTitle(chart->title());
        pdf.setPageSize(QPageSize(QSizeF(size), QPageSize::Point));
        pdf.setPageMargins(QMarginsF());
        QPainter painter(&pdf);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, QRectF(0, 0, pdf.width(), pdf.height()), source);
    }
    int fehler = 0;
    if (!ok || !platform::ReplaceFile(path, file.data(), &fehler)) {
        report::Fehler(
            catalogue::MitGrund(catalogue::meldung::DateiNichtGespeichert, path, fehler));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // A file needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return report::Run(app, Zeichne);
}
