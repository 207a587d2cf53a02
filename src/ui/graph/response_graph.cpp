#include "graph/response_graph.h"

#include "common/way_selection.h"
#include "graph/graph_accessible.h"
#include "graph/picture_canvas.h"
#include "graph/system_plot.h"
#include "model/system_settings.h"
#include "model/unit_model.h"
#include "protocol/send_slots.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quellaton {

namespace {

// Start positions of the six handles of every section, before any image has been applied.
constexpr std::array<QPoint, BandsPerSection> StartHandles = {QPoint(101, 86), QPoint(177, 86),
                                                              QPoint(236, 86), QPoint(294, 86),
                                                              QPoint(371, 86), QPoint(429, 86)};

// The cache holds 793 columns; column j belongs to pixel column j + 41, so no graph may be
// wider than 840 pixels.
constexpr int MaxGraphWidth = ResponseColumnCount + 47;
constexpr int MaxGraphHeight = 4096;

// A handle's catch area: a press within 7 pixels of its centre, both ways, picks it.
constexpr int CatchDistance = 8;
// Drag limits: the pointer is followed only inside these pixels, which keep the table
// lookups between 19.7 Hz .. 21900 Hz and -24.0 .. +12.0 dB at the default size.
constexpr int DragLeft = 97;
constexpr int DragRight = 689;
constexpr int DragTopExclusive = 31;
constexpr int DragBottomExclusive = 199;
// Handle numbers sit above their square while the handle is above this row, else below.
constexpr int NumberFlipRow = 117;

constexpr QRgb TraceColour = qRgb(255, 0, 0);
constexpr QRgb FillColour = qRgb(20, 20, 20);
constexpr QRgb FrameColour = qRgb(128, 128, 128);
constexpr QRgb GridColour = qRgb(64, 64, 64);
constexpr QRgb LabelBackground = qRgb(4, 2, 4);
constexpr QRgb TextColour = qRgb(255, 255, 255);

// The frequency grid: 20..90 Hz, 100..900 Hz, 1..9 kHz and 10 kHz.
constexpr std::array<double, 27> GridFrequencies = {
    20,  30,  40,  50,   60,   70,   80,   90,   100,  200,  300,  400,  500,  600,
    700, 800, 900, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000};

struct Label {
    int x;
    int y;
    const char* text;
};

constexpr std::array<Label, 20> GridLabels = {{
    {4, 10, "+15dB"},    {4, 33, "+10dB"},    {8, 56, "+5dB"},     {12, 79, "0dB"},
    {9, 102, "-5dB"},    {6, 126, "-10dB"},   {6, 149, "-15dB"},   {6, 172, "-20dB"},
    {6, 195, "-25dB"},   {6, 218, "-30dB"},   {90, 226, "20Hz"},   {166, 226, "50Hz"},
    {222, 226, "100Hz"}, {280, 226, "200Hz"}, {357, 226, "500Hz"}, {417, 226, "1KHz"},
    {475, 226, "2KHz"},  {552, 226, "5KHz"},  {607, 226, "10KHz"}, {666, 226, "20KHz"},
}};

// 8-point text at 96 dots per inch, without smoothing so every glyph pixel is the plain colour.
QFont PictureFont(const QString& family) {
    QFont font(family);
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// Pixel row of a summed level: Trunc((15 - total) / 45 x (height - 38) + 16), kept far
// outside the picture when the level is extreme so the conversion to int stays defined.
int TotalToRow(double total, int height) {
    const double y = std::trunc((15.0 - total) / 45.0 * (height - 38) + 16.0);
    return static_cast<int>(std::clamp(y, -1.0e6, 1.0e6));
}

bool ValidWay(int way) {
    return way >= 0 && way < SectionCount;
}

} // namespace

ResponseGraph::ResponseGraph(UnitModel& model, WaySelection& selection, QWidget* parent)
    : QWidget(parent), model_(model), selection_(selection) {
    setObjectName(QStringLiteral("responseGraph"));
    InstallGraphAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Moves without a button must arrive too: they tell that a drag's release was lost.
    setMouseTracking(true);
    for (int b = 0; b < BandCount; ++b) {
        handles_[b] = StartHandles[b % BandsPerSection];
    }
    setGeometry(8, 12, geometry_.width, geometry_.height);
    grid_ = QImage(geometry_.width, geometry_.height, QImage::Format_RGB32);
    grid_.fill(FillColour);
    picture_ = grid_.copy();

    numberFont_ = PictureFont(font().family());
    const QFontMetrics metrics(numberFont_);
    numberHeight_ = metrics.height();
    for (int k = 0; k < BandsPerSection; ++k) {
        numberWidth_[k] = metrics.horizontalAdvance(QString::number(k + 1));
    }

    systemPlot_ = std::make_unique<SystemPlot>();
    systemPlot_->setGeometry(geometry_);
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(0);
    connect(&refreshTimer_, &QTimer::timeout, this, &ResponseGraph::refresh);
    connect(&model_, &UnitModel::blockEdited, this, &ResponseGraph::settingsChanged);
    connect(&model_, &UnitModel::imageReplaced, this, &ResponseGraph::settingsChanged);
    connect(&model_, &UnitModel::imageEdited, this, &ResponseGraph::settingsChanged);
    connect(&model_, &UnitModel::bypassChanged, this, &ResponseGraph::settingsChanged);
}

ResponseGraph::~ResponseGraph() = default;

void ResponseGraph::DrawGrid(int width, int height) {
    const int w = std::clamp(width, 1, MaxGraphWidth);
    const int h = std::clamp(height, 1, MaxGraphHeight);
    geometry_.width = w;
    geometry_.height = h;
    resize(w, h);

    grid_ = QImage(w, h, QImage::Format_RGB32);
    PictureCanvas canvas(grid_);
    // Fill: one line per row.
    grid_.fill(FillColour);

    // Frame: four joined lines, each without its end point.
    const int right = w - 6;
    const int bottom = h - 24;
    canvas.straightLine(41, 17, right, 17, FrameColour);
    canvas.straightLine(right, 17, right, bottom, FrameColour);
    canvas.straightLine(right, bottom, 41, bottom, FrameColour);
    canvas.straightLine(41, bottom, 41, 17, FrameColour);

    // Eight dB rows.
    for (int j = 1; j <= 8; ++j) {
        const int row = static_cast<int>(std::trunc((h - 40) / 9.0 * j)) + 17;
        canvas.straightLine(42, row, right, row, GridColour);
    }

    // Frequency columns. These use width - 47 where the trace uses width - 46, so a grid
    // column may sit one pixel left of its frequency.
    const int left = geometry_.leftInset();
    const int rightInset = geometry_.rightInset();
    const double third = (w - 47 - left - rightInset) / 3.0;
    for (double f : GridFrequencies) {
        const int column =
            static_cast<int>(std::trunc(std::log(f / 20.0) / std::log(10.0) * third)) + 41 + left;
        canvas.straightLine(column, 18, column, bottom, GridColour);
    }
    // Edge lines at the ends of the frequency axis.
    canvas.straightLine(41 + left, 18, 41 + left, bottom, GridColour);
    canvas.straightLine(w - rightInset - 6, 18, w - rightInset - 6, bottom, GridColour);

    // Labels: each text cell is filled with the label brush, then the text drawn over it.
    {
        QPainter painter(&grid_);
        const QFont font = PictureFont(QStringLiteral("Arial"));
        painter.setFont(font);
        painter.setPen(QColor::fromRgb(TextColour));
        const QFontMetrics metrics(font);
        for (const Label& label : GridLabels) {
            const QString text = QString::fromLatin1(label.text);
            const QRect cell(label.x, label.y, metrics.horizontalAdvance(text), metrics.height());
            painter.fillRect(cell, QColor::fromRgb(LabelBackground));
            painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
        }
    }

    picture_ = grid_.copy();
    dirtyTop_ = 0;
    dirtyBottom_ = -1;
    systemPlot_->setGeometry(geometry_);
    update();
}

void ResponseGraph::setCurrentBand(int bandIndex) {
    if (bandIndex >= 0 && bandIndex < BandCount) {
        currentBand_ = bandIndex;
    }
}

QPoint ResponseGraph::handle(int bandIndex) const {
    if (bandIndex < 0 || bandIndex >= BandCount) {
        return {};
    }
    return handles_[bandIndex];
}

void ResponseGraph::copyGrid() {
    shownWay_ = -1;
    if (picture_.size() != grid_.size() || picture_.format() != grid_.format()) {
        picture_ = grid_.copy();
    } else if (dirtyTop_ <= dirtyBottom_) {
        // Same size and format, so the same row stride: the rows drawn on since the last copy
        // are one block. bits() first detaches the picture from any copy handed out.
        const qsizetype stride = grid_.bytesPerLine();
        std::memcpy(picture_.bits() + dirtyTop_ * stride, grid_.constBits() + dirtyTop_ * stride,
                    std::size_t((dirtyBottom_ - dirtyTop_ + 1) * stride));
    }
    dirtyTop_ = 0;
    dirtyBottom_ = -1;
}

void ResponseGraph::markDirty(int top, int bottom) {
    top = std::max(top, 0);
    bottom = std::min(bottom, picture_.height() - 1);
    if (top > bottom) {
        return;
    }
    if (dirtyTop_ > dirtyBottom_) {
        dirtyTop_ = top;
        dirtyBottom_ = bottom;
    } else {
        dirtyTop_ = std::min(dirtyTop_, top);
        dirtyBottom_ = std::max(dirtyBottom_, bottom);
    }
}

void ResponseGraph::placeHandle(int bandIndex, int bandType) {
    const EqBand& band = model_.band(bandIndex);
    const int frequency = std::clamp(band.frequencyIndex, 0, MaxFrequencyIndex);
    const int gain =
        std::clamp(bandType == 0 ? band.peakingGain : band.shelfGain, 0, MaxEqGainIndex);
    handles_[bandIndex] = QPoint(geometry_.frequencyToX(FrequencyTable[frequency]),
                                 geometry_.gainToY(EqGainTable[gain]));
}

bool ResponseGraph::computeBandRow(int bandIndex, int bandType) {
    const QPoint at = handles_[bandIndex];
    switch (bandType) {
    case 0:
        ComputePeakingResponse(cache_, geometry_, bandIndex, at.x(), at.y(),
                               model_.band(bandIndex).qIndex);
        return true;
    case 1:
        ComputeLowShelfResponse(cache_, geometry_, bandIndex, at.x(), at.y());
        return true;
    case 2:
        ComputeHighShelfResponse(cache_, geometry_, bandIndex, at.x(), at.y());
        return true;
    default:
        return false;
    }
}

void ResponseGraph::RedrawBand(int bandType) {
    const int band = currentBand_;
    placeHandle(band, bandType);
    copyGrid();
    if (computeBandRow(band, bandType)) {
        PlotTotal();
    } else if (view_ == GraphView::System) {
        plotSystem();
    }
    DrawHandles(selection_.way());
    if (shownWay_ >= 0 && band / BandsPerSection == shownWay_) {
        AnnounceGraphHandles(this, band % BandsPerSection, band % BandsPerSection);
    }
}

void ResponseGraph::PlotTotal() {
    if (view_ == GraphView::System) {
        plotSystem();
        return;
    }
    // The phase goes under the section's trace, which stays whole on top of it.
    const int way = selection_.way();
    if (phaseShown_ && ValidWay(way)) {
        plotPhase(way);
    }
    plotTrace(way);
}

void ResponseGraph::plotTrace(int way) {
    if (!ValidWay(way)) {
        return;
    }
    auto& rows = cache_.rows;
    const int firstBand = BandsPerSection * way;
    const int last = LastResponseColumn(geometry_);
    // A band whose bypass box is ticked counts as 0 dB. Its cached curve is kept, so that
    // unticking the box (or drawing the stored sum) brings it back wherever it is shown.
    static const ResponseCache::Row flat{};
    const auto bandRow = [&](int k) -> const ResponseCache::Row& {
        return model_.rowBypassed(k) ? flat : rows[firstBand + k];
    };
    const auto& b0 = bandRow(0);
    const auto& b1 = bandRow(1);
    const auto& b2 = bandRow(2);
    const auto& b3 = bandRow(3);
    const auto& b4 = bandRow(4);
    const auto& b5 = bandRow(5);
    const auto& hp = rows[HighPassRow(way)];
    const auto& lp = rows[LowPassRow(way)];
    const int height = geometry_.height;
    const int bottom = height - 24;
    const int lastX = std::min(geometry_.lastColumn(), picture_.width() - 1);
    int top = picture_.height();
    int lowest = -1;
    for (int x = geometry_.firstColumn(); x <= lastX; ++x) {
        const int j = x - 41;
        if (j > last) {
            break;
        }
        const double total = b0[j] + b1[j] + b2[j] + b3[j] + b4[j] + b5[j] + hp[j] + lp[j];
        const int y = TotalToRow(total, height);
        // A line from (x, y - 1) to (x, y) colours only its start point. Totals outside the
        // frame leave the column blank.
        if (y > 17 && y < bottom && y - 1 < picture_.height()) {
            reinterpret_cast<QRgb*>(picture_.scanLine(y - 1))[x] = TraceColour;
            top = std::min(top, y - 1);
            lowest = std::max(lowest, y - 1);
        }
    }
    markDirty(top, lowest);
    update();
}

void ResponseGraph::DrawHandles(int way) {
    if (!ValidWay(way)) {
        update();
        return;
    }
    shownWay_ = way;
    PictureCanvas canvas(picture_);
    for (int k = 0; k < BandsPerSection; ++k) {
        const QPoint at = handles_[BandsPerSection * way + k];
        // A filled rectangle from (x - 4, y - 4) to (x + 4, y + 4) covers x - 4 .. x + 3.
        canvas.fillRect(at.x() - 4, at.y() - 4, 8, 8, BandColours[k]);
        markDirty(at.y() - 4, at.y() + 3);
    }
    QPainter painter(&picture_);
    painter.setFont(numberFont_);
    painter.setPen(QColor::fromRgb(TextColour));
    for (int k = 0; k < BandsPerSection; ++k) {
        const QPoint at = handles_[BandsPerSection * way + k];
        const int top = at.y() < NumberFlipRow ? at.y() - 18 : at.y() + 4;
        painter.drawText(QRect(at.x() - 2, top, numberWidth_[k], numberHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, QString::number(k + 1));
        // Glyphs may reach a little beyond their cell.
        markDirty(top - 2, top + numberHeight_ + 2);
    }
    painter.end();
    update();
    if (announcedWay_ != way) {
        announcedWay_ = way;
        AnnounceGraphSection(this);
    }
}

void ResponseGraph::RedrawCrossover(bool highPass, int type) {
    const int way = selection_.way();
    copyGrid();
    if (ValidWay(way)) {
        if (highPass) {
            ComputeHighPassResponse(cache_, geometry_, way, model_.image().highPassIndex[way],
                                    type);
        } else {
            ComputeLowPassResponse(cache_, geometry_, way, model_.image().lowPassIndex[way], type);
        }
        PlotTotal();
    }
    DrawHandles(way);
}

void ResponseGraph::DrawStoredSum(int way) {
    copyGrid();
    if (view_ == GraphView::System) {
        plotSystem();
    }
    if (!ValidWay(way)) {
        update();
        return;
    }
    if (view_ == GraphView::System) {
        DrawHandles(way);
        return;
    }
    const auto& rows = cache_.rows;
    const int firstBand = BandsPerSection * way;
    const int last = LastResponseColumn(geometry_);
    const int height = geometry_.height;
    const auto rowAt = [&](int x) {
        const int j = x - 41;
        double total = 0.0;
        for (int k = 0; k < BandsPerSection; ++k) {
            total += rows[firstBand + k][j];
        }
        total += rows[HighPassRow(way)][j];
        total += rows[LowPassRow(way)][j];
        return TotalToRow(total, height);
    };
    if (phaseShown_) {
        plotPhase(way); // under the trace
    }
    // One connected line through every column: each step joins column x to x + 1, the last
    // point (the end of the line) is not drawn.
    PictureCanvas canvas(picture_);
    markDirty(0, picture_.height() - 1);
    const int lastX = std::min(geometry_.lastColumn(), last + 41);
    if (lastX >= geometry_.firstColumn()) {
        int y = rowAt(geometry_.firstColumn());
        for (int x = geometry_.firstColumn(); x < lastX; ++x) {
            const int next = rowAt(x + 1);
            canvas.columnStep(x, y, next, TraceColour);
            y = next;
        }
    }
    DrawHandles(way);
}

void ResponseGraph::plotSystem() {
    refreshTimer_.stop(); // the picture is up to date
    systemPlot_->update(SystemSettingsOf(model_.image(), model_.bypassRows()));
    const SystemPlot::RowSpan drawn = systemPlot_->drawSystem(picture_, phaseShown_);
    markDirty(drawn.top, drawn.bottom);
    update();
}

void ResponseGraph::plotPhase(int way) {
    refreshTimer_.stop();
    systemPlot_->update(SystemSettingsOf(model_.image(), model_.bypassRows()));
    const SystemPlot::RowSpan drawn = systemPlot_->drawSectionPhase(picture_, way);
    markDirty(drawn.top, drawn.bottom);
    update();
}

void ResponseGraph::settingsChanged() {
    if (view_ == GraphView::System || phaseShown_) {
        refreshTimer_.start();
    }
}

void ResponseGraph::refresh() {
    refreshTimer_.stop();
    const int way = shownWay_;
    copyGrid();
    if (view_ == GraphView::System) {
        plotSystem();
    } else if (ValidWay(way)) {
        if (phaseShown_) {
            plotPhase(way);
        }
        plotTrace(way);
    }
    if (ValidWay(way)) {
        DrawHandles(way);
    } else {
        update();
    }
}

void ResponseGraph::overlaysChanged() {
    refresh();
    emit viewChanged();
    AnnounceGraphView(this);
}

void ResponseGraph::setView(GraphView view) {
    if (view_ == view) {
        return;
    }
    view_ = view;
    refresh();
    emit viewChanged();
    AnnounceGraphView(this);
}

void ResponseGraph::setPhaseShown(bool shown) {
    if (phaseShown_ == shown) {
        return;
    }
    phaseShown_ = shown;
    refresh();
    emit viewChanged();
    AnnounceGraphView(this);
}

QString ResponseGraph::viewDescription() const {
    QString text;
    if (view_ == GraphView::Section) {
        text = QStringLiteral("Frequency response from 20 Hz to 20 kHz, +15 dB to -30 dB, "
                              "with one handle per equaliser band.");
        if (phaseShown_) {
            text += QStringLiteral(" Phase of the section shown, scale on the right from "
                                   "+180 to -180 degrees.");
        }
        return text;
    }
    text = QStringLiteral("System response from 20 Hz to 20 kHz, +15 dB to -30 dB: the sum of "
                          "High, Mid and Low after Main, and the three ways.");
    if (phaseShown_) {
        text += QStringLiteral(" Phase of the sum shown, scale on the right from +180 to -180 "
                               "degrees.");
    }
    for (int way = 0; way < SystemWayCount; ++way) {
        if (systemPlot_->hasMeasurement(way)) {
            text += QStringLiteral(" Measurement for %1 (%2) in the sum, its prediction dashed.")
                        .arg(SectionName(way), systemPlot_->measurementName(way));
        }
    }
    if (systemPlot_->hasTarget()) {
        text += QStringLiteral(" Target curve (%1) dashed.").arg(systemPlot_->targetName());
    }
    text += QStringLiteral(" The limiter and the bass enhancer are not modelled.");
    if (ValidWay(shownWay_)) {
        text += QStringLiteral(" Handles of %1.").arg(SectionName(shownWay_));
    }
    return text;
}

void ResponseGraph::RecomputeAll() {
    // Every band of every section in order, then the section's high-pass and low-pass. Each
    // band's handle moves onto its table point on the way. The picture is painted once at the
    // end: the steps in between would each be overwritten by the next.
    for (int way = 0; way < SectionCount; ++way) {
        for (int k = 0; k < BandsPerSection; ++k) {
            const int band = BandsPerSection * way + k;
            currentBand_ = band;
            const int type = model_.band(band).type;
            placeHandle(band, type);
            computeBandRow(band, type);
        }
        const ParameterImage& image = model_.image();
        ComputeHighPassResponse(cache_, geometry_, way, image.highPassIndex[way],
                                image.highPassType[way]);
        ComputeLowPassResponse(cache_, geometry_, way, image.lowPassIndex[way],
                               image.lowPassType[way]);
    }
    copyGrid();
    PlotTotal();
    DrawHandles(selection_.way());
}

void ResponseGraph::pointerPressed(QPoint at) {
    const int way = selection_.way();
    // Only the handles in the picture can be picked up, and only while they belong to the
    // section being edited: another section's handles are not drawn, and a section merely
    // shown is not edited.
    if (!ValidWay(way) || way != shownWay_) {
        return;
    }
    // Moving the focus away first lets an edit field being typed in commit its text.
    if (QWidget* top = window()) {
        if (auto* button = top->findChild<QWidget*>(QStringLiteral("broadcastButton"))) {
            button->setFocus(Qt::MouseFocusReason);
        }
    }
    pointerReleased(); // a drag whose release was lost ends here, and with it its step
    for (int k = 0; k < BandsPerSection; ++k) {
        const int band = BandsPerSection * way + k;
        const QPoint h = handles_[band];
        if (std::abs(at.x() - h.x()) < CatchDistance && std::abs(at.y() - h.y()) < CatchDistance) {
            currentBand_ = band;
            dragging_ = true;
            model_.beginStep(); // the drag, press to release, is one step
            const EqBand& values = model_.band(band);
            press_.pointer = at;
            press_.offset = at - h;
            press_.handle = h;
            press_.frequencyIndex = values.frequencyIndex;
            press_.gainIndex = values.activeGain();
            return;
        }
    }
}

void ResponseGraph::pointerMoved(QPoint at) {
    if (!dragging_) {
        return;
    }
    const int band = currentBand_;
    QPoint& h = handles_[band];
    const EqBand& values = model_.band(band);
    int frequencyIndex = values.frequencyIndex;
    int gainIndex = values.activeGain();
    // The handle's centre keeps the distance it had from the pointer at the press, so picking
    // a handle up at the rim of its catch area does not make it jump.
    const QPoint centre = at - press_.offset;
    // Each coordinate is followed only inside the drag limits. Outside them the handle keeps
    // its place and the band keeps that coordinate's index: looking the index up again from
    // the snapped handle would not give it back (the pixel mappings and their inverses use
    // different constants), and the band would creep on every move. For the same reason an
    // axis the pointer has not moved along since the press keeps its value exactly, and a
    // step never goes against the pointer: the inverse mapping can put a handle's own row or
    // the next one on a neighbouring table entry on the wrong side.
    if (at.x() == press_.pointer.x()) {
        h.setX(press_.handle.x());
        frequencyIndex = press_.frequencyIndex;
    } else if (centre.x() >= DragLeft && centre.x() <= DragRight) {
        int index = std::clamp(geometry_.xToFrequencyIndex(centre.x()), 0, MaxFrequencyIndex);
        index = at.x() > press_.pointer.x() ? std::max(index, press_.frequencyIndex)
                                            : std::min(index, press_.frequencyIndex);
        h.setX(centre.x());
        frequencyIndex = index;
    }
    if (at.y() == press_.pointer.y()) {
        h.setY(press_.handle.y());
        gainIndex = press_.gainIndex;
    } else if (centre.y() > DragTopExclusive && centre.y() < DragBottomExclusive) {
        // Rows grow downwards, gains upwards.
        int index = std::clamp(geometry_.yToEqGainIndex(centre.y()), 0, MaxEqGainIndex);
        index = at.y() < press_.pointer.y() ? std::max(index, press_.gainIndex)
                                            : std::min(index, press_.gainIndex);
        h.setY(centre.y());
        gainIndex = index;
    }
    // Every step sends the band, whether it moved or not.
    model_.setBandPoint(band, frequencyIndex, gainIndex);
    RedrawBand(model_.band(band).type);
    emit bandEdited(band);
}

void ResponseGraph::pointerReleased() {
    if (dragging_) {
        dragging_ = false;
        model_.endStep();
    }
}

void ResponseGraph::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area.topLeft(), picture_, area);
}

void ResponseGraph::mousePressEvent(QMouseEvent* event) {
    pointerPressed(event->position().toPoint());
    event->accept();
}

void ResponseGraph::mouseMoveEvent(QMouseEvent* event) {
    // A move without a button held means the release went elsewhere (a modal box that
    // opened mid-drag swallows it): the drag is over, and this move edits nothing.
    if (event->buttons() == Qt::NoButton) {
        pointerReleased();
    } else {
        pointerMoved(event->position().toPoint());
    }
    event->accept();
}

void ResponseGraph::mouseReleaseEvent(QMouseEvent* event) {
    pointerReleased();
    event->accept();
}

} // namespace quellaton
