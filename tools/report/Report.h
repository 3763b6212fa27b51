#pragma once

#include "charges/ChargeReport.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class QCoreApplication;

// What winvarno-report does, shared by the program without widgets and the one
// that draws charts.
namespace report {

using Zeichner = std::function<bool(const std::vector<charges::PeriodCosts>& rows,
                                    const std::array<QString, charges::kHistoryPorts>& names,
                                    charges::Period period, const QString& path)>;

// Parses the command line of `app`, reads the log and writes the table or the CSV
// to standard output; with --plot, `zeichne` renders the chart. The exit status:
// 0, 1 when the log cannot be read or the chart not written, 2 for a wrong call.
int Run(QCoreApplication& app, const Zeichner& zeichne);

// "png", "svg" or "pdf" as the file's extension says; nullopt for anything else.
std::optional<QByteArray> ChartFormat(const QString& path);

// Why the chart of these rows shows no bars (nothing in the period, no units, no
// price per unit), or empty when it shows some.
QString LeeresDiagramm(const std::vector<charges::PeriodCosts>& rows);

// A message on standard error, after the program's name.
void Fehler(const QString& text);

} // namespace report
