#include "report/analysis_drawing.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/string_table.h"
#include "shot/units.h"

namespace kyvern::report {

namespace {

constexpr double kPictureWidth = app::ShotAnalysis::kPlotWidth;
constexpr double kPictureHeight = app::ShotAnalysis::kPlotHeight;
constexpr double kGroundY = 215.0;
constexpr double kPlotBottom = 225.0;
constexpr double kOriginX = 10.0;
constexpr double kPlotRight = 630.0;

QString Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return QString::fromUtf8(text);
}

using base::MessageId;

// A text of the string table with one %s filled in.
QString WithText(MessageId id, const char* value) {
    char text[160];
    std::snprintf(text, sizeof text, std::string(base::Text(id)).c_str(), value);
    return QString::fromUtf8(text);
}

QString PlottedText(std::size_t count) {
    char text[160];
    std::snprintf(text, sizeof text, std::string(base::Text(MessageId::kPlotShots)).c_str(),
                  static_cast<int>(count), app::ShotAnalysis::kMaxPlots);
    return QString::fromUtf8(text);
}

// A round step of the display unit that leaves at least minPixels between grid lines.
double GridStep(double pixelsPerUnit, double minPixels) {
    static constexpr double kSteps[] = {1, 2, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1000};
    for (double step : kSteps)
        if (step * pixelsPerUnit >= minPixels) return step;
    return 1000;
}

// Fits the picture's own coordinates into target, keeping its aspect, centred.
void FitPicture(QPainter& painter, const QRectF& target, double width, double height) {
    const double scale = std::min(target.width() / width, target.height() / height);
    painter.translate(target.x() + (target.width() - width * scale) / 2,
                      target.y() + (target.height() - height * scale) / 2);
    painter.scale(scale, scale);
}

void DrawPlotFrame(QPainter& painter, const AnalysisPlotData& data) {
    QLinearGradient sky(0, 0, 0, kGroundY);
    sky.setColorAt(0, QColor(214, 232, 250));
    sky.setColorAt(1, QColor(246, 250, 255));
    painter.fillRect(QRectF(0, 0, kPictureWidth, kGroundY), sky);
    painter.fillRect(QRectF(0, kGroundY, kPictureWidth, kPlotBottom - kGroundY),
                     QColor(96, 160, 80));
    painter.fillRect(QRectF(0, kPlotBottom, kPictureWidth, kPictureHeight - kPlotBottom),
                     QColor(250, 250, 250));

    const double k = app::ShotAnalysis::PlotScale(data.sport);
    // Pixels per display unit: the dots are placed in yards.
    const double pixelsPerUnit = k / shot::ToDisplayDistance(1.0, data.distanceUnit);
    const char* unit = shot::DistanceLabel(data.distanceUnit);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);

    const double across = GridStep(pixelsPerUnit, 48.0);
    for (double v = across; kOriginX + v * pixelsPerUnit < kPlotRight; v += across) {
        const double x = kOriginX + v * pixelsPerUnit;
        painter.setPen(QPen(QColor(170, 185, 200), 0.6));
        painter.drawLine(QPointF(x, 0), QPointF(x, kGroundY));
        painter.setPen(QColor(60, 60, 60));
        painter.drawText(QRectF(x - 30, kPlotBottom + 2, 60, 12), Qt::AlignCenter,
                         Printf("%.0f", v));
    }
    const double up = GridStep(pixelsPerUnit, 30.0);
    for (double v = up; kGroundY - v * pixelsPerUnit > 8; v += up) {
        const double y = kGroundY - v * pixelsPerUnit;
        painter.setPen(QPen(QColor(170, 185, 200), 0.6));
        painter.drawLine(QPointF(kOriginX, y), QPointF(kPlotRight, y));
        painter.setPen(QColor(60, 60, 60));
        painter.drawText(QRectF(kOriginX + 2, y - 12, 60, 12), Qt::AlignLeft | Qt::AlignBottom,
                         Printf("%.0f", v));
    }
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(QRectF(kPlotRight - 200, 2, 196, 12), Qt::AlignRight | Qt::AlignVCenter,
                     WithText(MessageId::kPlotDownrange, unit));
    painter.drawText(QRectF(kOriginX + 40, 2, 200, 12), Qt::AlignLeft | Qt::AlignVCenter,
                     WithText(MessageId::kPlotHeight, unit));
    painter.setPen(QPen(QColor(40, 40, 40), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(0.5, 0.5, kPictureWidth - 1, kPlotBottom - 0.5));
}

void DrawLegend(QPainter& painter, const AnalysisPlotData& data) {
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    const double top = kPlotBottom + 18;
    painter.drawText(QRectF(10, top, 400, 16), Qt::AlignLeft | Qt::AlignVCenter,
                     data.shots.empty() ? WithText(MessageId::kPlotNoShots, "")
                                        : PlottedText(data.shots.size()));
    font.setBold(false);
    font.setPixelSize(10);
    painter.setFont(font);
    const char* distance = shot::DistanceLabel(data.distanceUnit);
    const double rowHeight = (kPictureHeight - top - 20) / 10.0;
    for (std::size_t i = 0; i < data.shots.size() && i < data.flights.size(); ++i) {
        const app::AnalysisShot& s = data.shots[i].shot;
        const flight::FlightResult& f = data.flights[i];
        const double x = i < 10 ? 10.0 : 325.0;
        const double y = top + 20 + static_cast<double>(i % 10) * rowHeight;
        const QColor colour = ToQColor(app::kAnalysisColours[data.shots[i].colour]);
        painter.setPen(colour.darker(160));
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(x, y + rowHeight / 2 - 4, 8, 8));
        char line[160];
        std::snprintf(line, sizeof line,
                      "%.1f %s  %.1f\xC2\xB0  %.0f / %.0f rpm  \xE2\x86\x92 %.1f / %.1f %s",
                      shot::ToDisplaySpeed(s.ballSpeed, data.speedUnit),
                      shot::SpeedLabel(data.speedUnit), s.launchAngle, s.backSpin, s.sideSpin,
                      shot::ToDisplayDistance(f.carry, data.distanceUnit),
                      shot::ToDisplayDistance(f.total, data.distanceUnit), distance);
        painter.setPen(QColor(30, 30, 30));
        painter.drawText(QRectF(x + 14, y, 300, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromUtf8(line));
    }
}

}  // namespace

QColor ToQColor(const app::Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

AnalysisPlotData PlotDataOf(const app::ShotAnalysis& analysis) {
    AnalysisPlotData data;
    data.shots = analysis.Plots();
    data.flights = analysis.PlotFlights();
    data.sport = analysis.Sport();
    data.speedUnit = analysis.SpeedUnit();
    data.distanceUnit = analysis.DistanceUnit();
    return data;
}

void DrawAnalysisPlot(QPainter& painter, const QRectF& target, const AnalysisPlotData& data) {
    painter.save();
    FitPicture(painter, target, kPictureWidth, kPictureHeight);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(QRectF(0, 0, kPictureWidth, kPictureHeight));
    DrawPlotFrame(painter, data);
    for (std::size_t i = 0; i < data.shots.size() && i < data.flights.size(); ++i) {
        const QColor colour = ToQColor(app::kAnalysisColours[data.shots[i].colour]);
        // A darker rim keeps yellow dots visible against the sky.
        painter.setPen(QPen(colour.darker(140), 0.8));
        painter.setBrush(colour);
        for (const app::PlotDot& dot : app::ShotAnalysis::PlotDots(data.flights[i], data.sport))
            painter.drawEllipse(QRectF(dot.x - 2.5, dot.y - 2.5, 5.0, 5.0));
    }
    DrawLegend(painter, data);
    painter.restore();
}

void DrawAnalysisTable(QPainter& painter, const QRectF& target, const app::AnalysisTable& table) {
    if (table.rows <= 0 || table.columns <= 0) return;
    painter.save();
    const double cellWidth = target.width() / (table.columns + 1);
    const double cellHeight = target.height() / (table.rows + 1);
    QFont font = painter.font();
    font.setPixelSize(std::max(6, static_cast<int>(std::min(cellHeight * 0.5, cellWidth * 0.22))));
    painter.setFont(font);
    for (int i = 0; i <= table.rows; ++i) {
        for (int j = 0; j <= table.columns; ++j) {
            const QRectF cell(target.x() + j * cellWidth, target.y() + i * cellHeight, cellWidth,
                              cellHeight);
            QColor background(224, 224, 224);
            QColor text(0, 0, 0);
            QString label;
            if (i == 0 && j == 0) {
                label = QStringLiteral("rpm \\ \u00B0");
            } else if (i == 0) {
                label = QString::fromStdString(table.columnHeaders[j]);
            } else if (j == 0) {
                label = QString::fromStdString(table.rowHeaders[i]);
            } else {
                const app::AnalysisCell& c = table.At(i, j);
                background = ToQColor(c.background);
                text = ToQColor(c.foreground);
                label = QString::fromStdString(c.text);
            }
            painter.fillRect(cell, background);
            painter.setPen(QPen(QColor(128, 128, 128), 0));
            painter.drawRect(cell);
            painter.setPen(text);
            painter.drawText(cell, Qt::AlignCenter, label);
        }
    }
    painter.restore();
}

}  // namespace kyvern::report
