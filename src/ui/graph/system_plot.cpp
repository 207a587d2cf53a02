#include "graph/system_plot.h"

#include "common/way_selection.h"
#include "graph/response_graph.h"

#include <QFontMetrics>
#include <QPainter>

#include <climits>
#include <cmath>

namespace quellaton {

namespace {

// Dashes: four columns drawn, four left out.
constexpr int DashLength = 4;
constexpr QRgb LabelBackground = qRgb(4, 2, 4);
constexpr std::array<int, 5> PhaseMarks = {180, 90, 0, -90, -180};

// The graph's label font: 8 points at 96 dots per inch, without smoothing.
QFont LabelFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QString PhaseMarkText(int degrees) {
    return (degrees > 0 ? QStringLiteral("+") : QString()) + QString::number(degrees) +
           QChar(0x00B0);
}

} // namespace

void SystemPlot::RowSpan::add(int row) {
    if (top > bottom) {
        top = bottom = row;
    } else {
        top = std::min(top, row);
        bottom = std::max(bottom, row);
    }
}

QRgb SystemPlot::WayColour(int way) {
    return ResponseGraph::BandColours[std::size_t(std::clamp(way, 0, SystemWayCount - 1) + 2)];
}

SystemPlot::SystemPlot() {
    setGeometry(geometry_);
}

void SystemPlot::setGeometry(const GraphGeometry& geometry) {
    geometry_ = geometry;
    const int last = std::min(geometry.lastColumn(), LastResponseColumn(geometry) + 41);
    std::vector<double> frequencies;
    for (int x = FirstColumn; x <= last; ++x) {
        frequencies.push_back(geometry.columnFrequency(x));
    }
    response_.setFrequencies(std::move(frequencies));
    applyMeasurements();
    if (target_) {
        setTarget(std::move(*target_), targetName_);
    }
    phaseLabelsHeight_ = -1;
    legendKey_.clear();
}

void SystemPlot::setMeasurement(int way, MeasuredCurve curve, QString name) {
    if (way < 0 || way >= SystemWayCount) {
        return;
    }
    measured_[std::size_t(way)] = std::move(curve);
    measurementNames_[std::size_t(way)] = std::move(name);
    applyMeasurements();
}

void SystemPlot::setTarget(MeasuredCurve curve, QString name) {
    target_ = std::move(curve);
    targetName_ = std::move(name);
    const std::vector<double>& f = response_.frequencies();
    targetLevels_.assign(f.size(), std::nan(""));
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (const auto value = target_->at(f[i])) {
            targetLevels_[i] = value->levelDb;
        }
    }
}

void SystemPlot::clearOverlays() {
    for (int way = 0; way < SystemWayCount; ++way) {
        measured_[std::size_t(way)].reset();
        measurementNames_[std::size_t(way)].clear();
    }
    applyMeasurements();
    target_.reset();
    targetName_.clear();
    targetLevels_.clear();
}

bool SystemPlot::hasMeasurement(int way) const {
    return way >= 0 && way < SystemWayCount && measured_[std::size_t(way)].has_value();
}

QString SystemPlot::measurementName(int way) const {
    return hasMeasurement(way) ? measurementNames_[std::size_t(way)] : QString();
}

bool SystemPlot::hasOverlays() const {
    return hasTarget() || hasMeasurement(0) || hasMeasurement(1) || hasMeasurement(2);
}

void SystemPlot::applyMeasurements() {
    // The measurements share one reference, so every one is normalised again when one changes.
    std::vector<MeasuredCurve*> curves;
    for (int way = 0; way < SystemWayCount; ++way) {
        normalised_[std::size_t(way)] = measured_[std::size_t(way)];
        curves.push_back(normalised_[std::size_t(way)] ? &*normalised_[std::size_t(way)] : nullptr);
    }
    reference_ = NormaliseMeasurements(curves);
    for (int way = 0; way < SystemWayCount; ++way) {
        response_.setMeasurement(way, curves[std::size_t(way)]);
    }
}

void SystemPlot::update(const SystemSettings& settings) {
    response_.update(settings);
}

int SystemPlot::phaseRow(double degrees) const {
    if (std::isnan(degrees)) {
        return NoRow;
    }
    // Phases lie within -180 .. 180, so the offset is never negative and int() truncates it.
    const double offset =
        (180.0 - std::clamp(degrees, -180.0, 180.0)) / 360.0 * (plotBottom() - plotTop());
    return plotTop() + int(offset);
}

void SystemPlot::drawRows(QImage& picture, QRgb colour, Style style, RowSpan& span) {
    const int top = plotTop();
    const int bottom = std::min(plotBottom(), picture.height() - 1);
    const int width = picture.width();
    QRgb* const bits = reinterpret_cast<QRgb*>(picture.bits());
    const qsizetype stride = picture.bytesPerLine() / qsizetype(sizeof(QRgb));
    const auto plot = [&](int x, int y) {
        if (y >= top && y <= bottom && x < width) {
            bits[y * stride + x] = colour;
        }
    };
    // From the point of column x at row y0 towards the next at y1, its end excluded: a flat
    // step colours (x, y0); a steep one walks the rows, the first half in column x and the
    // rest in column x + 1.
    const auto segment = [&](int x, int y0, int y1, int lift) {
        const int n = std::abs(y1 - y0);
        if (n <= 1) {
            plot(x, y0 - lift);
            return;
        }
        const int dir = y1 > y0 ? 1 : -1;
        for (int i = 0; i < n; ++i) {
            plot(2 * i < n ? x : x + 1, y0 + dir * i - lift);
        }
    };
    const std::size_t n = rows_.size();
    // Every pixel lies between the highest and the lowest point (one above with the lift).
    int highest = INT_MAX;
    int lowest = INT_MIN;
    for (std::size_t i = 0; i < n; ++i) {
        const int y0 = rows_[i];
        if (y0 == NoRow) {
            continue;
        }
        highest = std::min(highest, y0);
        lowest = std::max(lowest, y0);
        const int x = columnOf(i);
        if (style == Style::Dashed && ((x - FirstColumn) / DashLength) % 2 == 1) {
            continue;
        }
        const bool joined = i + 1 < n && rows_[i + 1] != NoRow && !breaks_[i];
        const int y1 = joined ? rows_[i + 1] : y0;
        segment(x, y0, y1, 0);
        if (style == Style::Thick) {
            segment(x, y0, y1, 1);
        }
    }
    if (highest <= lowest) {
        span.add(std::clamp(highest - 1, top, bottom));
        span.add(std::clamp(lowest, top, bottom));
    }
}

void SystemPlot::drawLevels(QImage& picture, const SystemResponse::Row& row, QRgb colour,
                            Style style, RowSpan& span) {
    rows_.resize(row.size());
    breaks_.assign(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) {
        // Silence (minus infinity) and no value (NaN) leave the column out.
        const double db = LevelDb(row[i]);
        rows_[i] = std::isinf(db) && db < 0 ? NoRow : levelRow(db);
    }
    drawRows(picture, colour, style, span);
}

void SystemPlot::drawTarget(QImage& picture, RowSpan& span) {
    rows_.resize(targetLevels_.size());
    breaks_.assign(targetLevels_.size(), 0);
    for (std::size_t i = 0; i < targetLevels_.size(); ++i) {
        rows_[i] = levelRow(targetLevels_[i]);
    }
    drawRows(picture, TargetColour, Style::Dashed, span);
}

void SystemPlot::drawPhase(QImage& picture, const SystemResponse::Row& row, RowSpan& span) {
    rows_.resize(row.size());
    breaks_.assign(row.size(), 0);
    double previous = std::nan("");
    for (std::size_t i = 0; i < row.size(); ++i) {
        const double degrees = PhaseDeg(row[i]);
        rows_[i] = phaseRow(degrees);
        // A wrap from one end of the scale to the other is not joined by a line.
        if (i > 0 && std::abs(degrees - previous) > 180.0) {
            breaks_[i - 1] = 1;
        }
        previous = degrees;
    }
    drawRows(picture, PhaseColour, Style::Thin, span);
    breaks_.assign(row.size(), 0);
    drawPhaseScale(picture, span);
}

void SystemPlot::drawPhaseScale(QImage& picture, RowSpan& span) {
    const int left = geometry_.width - geometry_.rightInset() - 5;
    if (phaseLabelsHeight_ != geometry_.height) {
        phaseLabelsHeight_ = geometry_.height;
        phaseLabels_.clear();
        const QFont font = LabelFont();
        const QFontMetrics metrics(font);
        for (int degrees : PhaseMarks) {
            const QString text = PhaseMarkText(degrees);
            Label label;
            label.image =
                QImage(metrics.horizontalAdvance(text), metrics.height(), QImage::Format_RGB32);
            label.image.fill(LabelBackground);
            QPainter painter(&label.image);
            painter.setFont(font);
            painter.setPen(QColor::fromRgb(PhaseColour));
            painter.drawText(label.image.rect(), Qt::AlignLeft | Qt::AlignTop, text);
            painter.end();
            // Centred on its row, but inside the frame (on a graph too low for that, at the
            // top of the plot area).
            label.top = std::max(std::min(phaseRow(degrees) - metrics.height() / 2,
                                          plotBottom() + 1 - metrics.height()),
                                 plotTop());
            phaseLabels_.push_back(std::move(label));
        }
    }
    for (const Label& label : phaseLabels_) {
        const int right = std::min(left + label.image.width(), geometry_.width - 6);
        for (int y = 0; y < label.image.height(); ++y) {
            const int row = label.top + y;
            if (row < 0 || row >= picture.height()) {
                continue;
            }
            const QRgb* from = reinterpret_cast<const QRgb*>(label.image.constScanLine(y));
            QRgb* to = reinterpret_cast<QRgb*>(picture.scanLine(row));
            for (int x = std::max(left, 0); x < right && x < picture.width(); ++x) {
                to[x] = from[x - left];
            }
            span.add(row);
        }
    }
}

void SystemPlot::drawLegend(QImage& picture, const QList<std::pair<QString, QRgb>>& items,
                            const QString& note, RowSpan& span) {
    // The strip above the frame, right of the "+15dB" label.
    constexpr int Left = 46;
    constexpr int Top = 2;
    QString key = note;
    for (const auto& [text, colour] : items) {
        key += QLatin1Char('|') + text + QString::number(colour);
    }
    if (key != legendKey_) {
        legendKey_ = key;
        const QFont font = LabelFont();
        const QFontMetrics metrics(font);
        QImage strip(geometry_.width, metrics.height(), QImage::Format_ARGB32);
        strip.fill(Qt::transparent);
        QPainter painter(&strip);
        painter.setFont(font);
        int x = Left;
        for (const auto& [text, colour] : items) {
            painter.setPen(QColor::fromRgb(colour));
            painter.drawText(QPoint(x, metrics.ascent()), text);
            x += metrics.horizontalAdvance(text) + 12;
        }
        if (!note.isEmpty()) {
            painter.setPen(QColor::fromRgb(NoteColour));
            const int noteLeft = std::max(x, geometry_.width - 8 - metrics.horizontalAdvance(note));
            painter.drawText(QPoint(noteLeft, metrics.ascent()), note);
        }
        painter.end();
        // Only the glyphs' pixels are kept: the strip around them stays as the grid has it.
        legend_.clear();
        for (int y = 0; y < strip.height() && Top + y < 17; ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(strip.constScanLine(y));
            for (int px = Left; px < strip.width() - 6; ++px) {
                if (qAlpha(line[px]) != 0) {
                    legend_.push_back({Top + y, px, line[px] | 0xFF000000u});
                }
            }
        }
    }
    QRgb* const bits = reinterpret_cast<QRgb*>(picture.bits());
    const qsizetype stride = picture.bytesPerLine() / qsizetype(sizeof(QRgb));
    const int height = picture.height();
    const int width = picture.width();
    for (const GlyphPixel& p : legend_) {
        if (p.y < height && p.x < width) {
            bits[p.y * stride + p.x] = p.colour;
        }
    }
    if (!legend_.empty()) {
        span.add(legend_.front().y);
        span.add(legend_.back().y);
    }
}

SystemPlot::RowSpan SystemPlot::drawSystem(QImage& picture, bool phase) {
    RowSpan span;
    if (picture.format() != QImage::Format_RGB32) {
        return span;
    }
    const SystemResponse& r = response_;
    QList<std::pair<QString, QRgb>> items{{QStringLiteral("Sum"), SumColour}};
    for (int way = 0; way < SystemWayCount; ++way) {
        drawLevels(picture, r.fed(way), WayColour(way), Style::Thin, span);
        items.append({r.hasMeasurement(way) ? SectionName(way) + QStringLiteral(" measured")
                                            : SectionName(way),
                      WayColour(way)});
    }
    for (int way = 0; way < SystemWayCount; ++way) {
        if (r.hasMeasurement(way)) {
            drawLevels(picture, r.predicted(way), WayColour(way), Style::Dashed, span);
        }
    }
    if (target_) {
        drawTarget(picture, span);
        items.append({QStringLiteral("Target"), TargetColour});
    }
    drawLevels(picture, r.system(), SumColour, Style::Thick, span);
    if (phase) {
        drawPhase(picture, r.system(), span);
        items.append({QStringLiteral("Phase"), PhaseColour});
    }
    drawLegend(picture, items, QStringLiteral("Limiter and bass enhancer not modelled"), span);
    return span;
}

SystemPlot::RowSpan SystemPlot::drawSectionPhase(QImage& picture, int section) {
    RowSpan span;
    if (picture.format() != QImage::Format_RGB32 || section < 0 || section >= SystemSectionCount) {
        return span;
    }
    drawPhase(picture, response_.section(section), span);
    drawLegend(picture, {{QStringLiteral("Phase"), PhaseColour}}, QString(), span);
    return span;
}

} // namespace quellaton
