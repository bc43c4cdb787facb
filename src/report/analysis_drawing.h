#pragma once

// The shot analysis window's pictures, each painted on any QPainter (window, PDF, printer,
// PNG): the profile plot of the plotted shots and the Analyze table.

#include <QPainter>
#include <QRectF>
#include <vector>

#include "app/shot_analysis.h"
#include "flight/flight_result.h"

namespace kyvern::report {

// What the plot shows: the plotted shots with their flights, and the units to label them in.
struct AnalysisPlotData {
    std::vector<app::PlottedShot> shots;
    std::vector<flight::FlightResult> flights;  // one per shot
    int sport = 0;
    int speedUnit = 0;
    int distanceUnit = 0;
};

AnalysisPlotData PlotDataOf(const app::ShotAnalysis& analysis);

// The 640 x 480 plot picture scaled into target (its aspect kept): the side view with its grid
// and ground in the top 225 pixels, the shots' dots, and the list of the plotted shots below.
void DrawAnalysisPlot(QPainter& painter, const QRectF& target, const AnalysisPlotData& data);

// The Analyze table with its header row and column and the cell colours, fitted into target.
void DrawAnalysisTable(QPainter& painter, const QRectF& target, const app::AnalysisTable& table);

QColor ToQColor(const app::Rgb& rgb);

}  // namespace kyvern::report
