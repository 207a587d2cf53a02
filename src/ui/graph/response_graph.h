// The response graph: a 720 x 249 picture of the shown section's summed response over a
// log-frequency grid, with one coloured handle per equaliser band that the user drags to
// change the band's frequency and gain.
#pragma once

#include "dsp/response.h"
#include "dsp/scales.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

namespace quellaton {

class SystemPlot;
class UnitModel;
class WaySelection;

// What the graph shows: the section being edited (the program's first view), or the whole
// loudspeaker with its sum.
enum class GraphView { Section, System };

class ResponseGraph : public QWidget {
    Q_OBJECT
public:
    // Handle colours of bands 1..6, also the legend colours of the equaliser rows.
    static constexpr std::array<QRgb, 6> BandColours = {qRgb(255, 252, 0), qRgb(255, 0, 0),
                                                        qRgb(0, 252, 255), qRgb(0, 252, 0),
                                                        qRgb(255, 0, 255), qRgb(0, 0, 255)};

    ResponseGraph(UnitModel& model, WaySelection& selection, QWidget* parent);
    ~ResponseGraph() override;

    const GraphGeometry& geometry() const { return geometry_; }
    const UnitModel& model() const { return model_; }
    const WaySelection& selection() const { return selection_; }
    const QImage& picture() const { return picture_; }
    const QImage& gridPicture() const { return grid_; }
    ResponseCache& cache() { return cache_; }
    const ResponseCache& cache() const { return cache_; }

    // Builds the grid picture (once, at window creation) and copies it to the graph.
    void DrawGrid(int width, int height);

    // The band the next RedrawBand acts on (band index 0..23); editors, bypass boxes and the
    // drag set it.
    int currentBand() const { return currentBand_; }
    void setCurrentBand(int bandIndex);
    QPoint handle(int bandIndex) const;
    bool dragging() const { return dragging_; }
    // The section whose handles the picture shows (-1: none). Only these can be picked up.
    int shownWay() const { return shownWay_; }

    // Places the current band's handle from its indices, copies the grid, recomputes the
    // band's row (0 peaking, 1 low shelf, 2 high shelf; any other value computes nothing)
    // with the summed trace, and draws the handles of the shown section.
    void RedrawBand(int bandType);
    // Draws the shown section's summed trace, leaving out bands whose bypass box is ticked.
    void PlotTotal();
    // Draws the six handles of `way` with their numbers.
    void DrawHandles(int way);
    // Crossover edit of the shown section: grid, recompute the high-pass or low-pass row with
    // `type`, summed trace, handles.
    void RedrawCrossover(bool highPass, int type);
    // Selecting a section's EQ page: grid, the section's stored sum (every band counted) as
    // one connected line, handles.
    void DrawStoredSum(int way);
    // A whole image arrived: every band of every section, then its high-pass and low-pass,
    // recomputed in that order, and the graph redrawn.
    void RecomputeAll();

    // The view, and whether the phase is drawn with its scale on the right. Either change
    // redraws the picture.
    GraphView view() const { return view_; }
    void setView(GraphView view);
    bool phaseShown() const { return phaseShown_; }
    void setPhaseShown(bool shown);
    // The system's curves and the measurements and target the user loaded; after changing the
    // overlays, call overlaysChanged().
    SystemPlot& systemPlot() { return *systemPlot_; }
    const SystemPlot& systemPlot() const { return *systemPlot_; }
    // Redraws the picture as it stands: the grid, the shown section's trace (or, in the system
    // view, the system's curves), the phase when shown, and the handles of the shown section.
    void refresh();
    // The measurements or the target changed: redraws and tells whoever shows the view.
    void overlaysChanged();
    // What the picture shows, in words, for assistive technology.
    QString viewDescription() const;

    // A press picks a handle of the shown section, and only while that section is the one
    // being edited; elsewhere it does nothing.
    void pointerPressed(QPoint at);
    void pointerMoved(QPoint at);
    void pointerReleased();

signals:
    // A drag step changed the band's frequency and gain indices (its fields must follow).
    void bandEdited(int bandIndex);
    // The view, the phase or the overlays shown changed.
    void viewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Copies the grid picture onto the graph picture.
    void copyGrid();
    // Puts the band's handle on the table point of its frequency index and of the gain index
    // that `bandType` uses (peaking for 0, shelf otherwise).
    void placeHandle(int bandIndex, int bandType);
    // Recomputes the band's row from its handle; false (nothing computed) for a type other
    // than 0, 1 or 2.
    bool computeBandRow(int bandIndex, int bandType);
    // Records that picture rows top..bottom may differ from the grid picture.
    void markDirty(int top, int bottom);
    // The red trace of `way`: one pixel per column, bypassed bands left out.
    void plotTrace(int way);
    // The system's curves from the model's settings as they are now.
    void plotSystem();
    // The phase of one section with its scale.
    void plotPhase(int way);
    // A change of the unit's settings: in the system view, or with the phase shown, the
    // picture follows once the event loop is back, unless a redraw has come first.
    void settingsChanged();

    UnitModel& model_;
    WaySelection& selection_;
    GraphGeometry geometry_;
    ResponseCache cache_;
    QImage grid_;
    QImage picture_;
    std::array<QPoint, 24> handles_{};
    int currentBand_ = 0;
    int shownWay_ = -1;
    // The section assistive technology was last told about.
    int announcedWay_ = -1;
    bool dragging_ = false;
    // Taken at the press that starts a drag: where the pointer was, how far it was from the
    // handle's centre, and the handle and band values then. The centre keeps that distance
    // from the pointer; an axis the pointer is back on (or never left) has its values back.
    struct {
        QPoint pointer;
        QPoint offset;
        QPoint handle;
        int frequencyIndex = 0;
        int gainIndex = 0;
    } press_;
    // Rows of picture_ drawn on since the grid was last copied (empty when top > bottom):
    // copying the grid back restores only these.
    int dirtyTop_ = 0;
    int dirtyBottom_ = -1;
    // The handle numbers' font (the graph's own family) and the size of their text cells.
    QFont numberFont_;
    int numberHeight_ = 0;
    std::array<int, 6> numberWidth_{};

    GraphView view_ = GraphView::Section;
    bool phaseShown_ = false;
    std::unique_ptr<SystemPlot> systemPlot_;
    QTimer refreshTimer_; // a redraw due to a change of the settings
};

} // namespace quellaton
