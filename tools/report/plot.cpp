// winvarno-report-plot: winvarno-report with the chart, rendered by the window's own
// chart code into a PNG, SVG or PDF file; winvarno-report starts it for --plot.
#include "Report.h"
#include "app/VerlaufDiagramm.h"
#include "catalogue/Catalogue.h"

#include <QApplication>
#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>

namespace {

// Renders the chart into `path`, the format chosen by its extension; written
// beside and renamed into place.
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

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        report::Fehler(catalogue::Fill(catalogue::meldung::DateiNichtGespeichert, path));
        return false;
    }
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
    if (!ok || !file.commit()) {
        report::Fehler(catalogue::Fill(catalogue::meldung::DateiNichtGespeichert, path));
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
