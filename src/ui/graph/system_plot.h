// The whole loudspeaker on the response graph: the system sum, the three ways, the predicted
// sound of measured drivers, a target curve and a phase scale, computed at the graph's pixel
// columns and drawn over the grid picture. The response graph decides when; this class keeps
// the curves and the overlays the user loaded.
#pragma once

#include "dsp/measured_curve.h"
#include "dsp/scales.h"
#include "dsp/system_response.h"

#include <QImage>
#include <QString>

#include <array>
#include <climits>
#include <cmath>
#include <optional>
#include <vector>

namespace quellaton {

class SystemPlot {
public:
    static constexpr QRgb SumColour = qRgb(255, 255, 255);
    static constexpr QRgb PhaseColour = qRgb(255, 160, 64);
    static constexpr QRgb TargetColour = qRgb(192, 192, 192);
    static constexpr QRgb NoteColour = qRgb(160, 160, 160);
    // High, Mid and Low take the colours of bands 3, 4 and 5 (cyan, green, magenta): neither
    // the red of the section trace nor the white of the sum.
    static QRgb WayColour(int way);

    // Rows of the picture drawn on; none when top > bottom.
    struct RowSpan {
        int top = 0;
        int bottom = -1;
        void add(int row);
    };

    SystemPlot();

    // The picture's size: the curves are computed for its pixel columns.
    void setGeometry(const GraphGeometry& geometry);

    // A measured driver for way 0..2 as read from its file (SPL levels); `name` is shown.
    void setMeasurement(int way, MeasuredCurve curve, QString name);
    void setTarget(MeasuredCurve curve, QString name);
    // Takes away every measurement and the target.
    void clearOverlays();
    bool hasMeasurement(int way) const;
    QString measurementName(int way) const;
    bool hasTarget() const { return target_.has_value(); }
    QString targetName() const { return targetName_; }
    bool hasOverlays() const;
    // The level the measurements are drawn relative to (the highest of their pass-band levels).
    double measurementReference() const { return reference_; }

    // Brings the curves up to the unit's settings; only what changed is recomputed.
    void update(const SystemSettings& settings);
    const SystemResponse& response() const { return response_; }
    // Pixel column of point i of response().
    int columnOf(std::size_t point) const { return FirstColumn + int(point); }

    // Draws the ways, the predictions of measured ways and the target (dashed), the sum, the
    // phase of the sum when `phase` is set, and the legend with what the model leaves out.
    RowSpan drawSystem(QImage& picture, bool phase);
    // Draws the phase of one section (a way alone, or Main) with its scale.
    RowSpan drawSectionPhase(QImage& picture, int section);

    // The pixel row of a level (the row the section trace colours for it), and of a phase.
    int levelRow(double db) const {
        if (std::isnan(db)) {
            return NoRow;
        }
        // Trunc((15 - level) / 45 x (height - 38) + 16), one row up, kept just outside the
        // plot area when the level is beyond it. Within those bounds the conversion to int
        // truncates toward zero as Trunc does.
        const double y = (15.0 - db) / 45.0 * (geometry_.height - 38) + 16.0;
        if (!(y < plotBottom() + 2)) {
            return plotBottom() + 1;
        }
        if (!(y > plotTop() - 1)) {
            return plotTop() - 1;
        }
        return int(y) - 1;
    }
    int phaseRow(double degrees) const;
    // The row of a point that has no value.
    static constexpr int NoRow = INT_MIN;
    int plotTop() const { return 18; }
    int plotBottom() const { return geometry_.height - 25; }

private:
    static constexpr int FirstColumn = 42;
    enum class Style { Thin, Thick, Dashed };

    void applyMeasurements();
    void drawLevels(QImage& picture, const SystemResponse::Row& row, QRgb colour, Style style,
                    RowSpan& span);
    void drawTarget(QImage& picture, RowSpan& span);
    void drawPhase(QImage& picture, const SystemResponse::Row& row, RowSpan& span);
    void drawRows(QImage& picture, QRgb colour, Style style, RowSpan& span);
    void drawPhaseScale(QImage& picture, RowSpan& span);
    void drawLegend(QImage& picture, const QList<std::pair<QString, QRgb>>& items,
                    const QString& note, RowSpan& span);

    GraphGeometry geometry_;
    SystemResponse response_;
    std::array<std::optional<MeasuredCurve>, SystemWayCount> measured_;
    std::array<std::optional<MeasuredCurve>, SystemWayCount> normalised_;
    std::array<QString, SystemWayCount> measurementNames_;
    double reference_ = 0.0;
    std::optional<MeasuredCurve> target_;
    QString targetName_;
    std::vector<double> targetLevels_; // per point; NaN outside the target's range

    // Pixel rows per point of the curve being drawn; INT_MIN where it has no value.
    std::vector<int> rows_;
    // Per point: 1 where the curve is not joined to the next point (a phase wrap).
    std::vector<char> breaks_;

    // Pre-drawn text: the legend strip and the phase scale labels, remade when they change.
    struct GlyphPixel {
        int y;
        int x;
        QRgb colour;
    };
    std::vector<GlyphPixel> legend_;
    QString legendKey_;
    struct Label {
        QImage image;
        int top = 0;
    };
    std::vector<Label> phaseLabels_;
    int phaseLabelsHeight_ = -1;
};

} // namespace quellaton
