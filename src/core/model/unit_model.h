// The program's model of one unit: its parameter image, the system values it reported, its
// preset names, its last status report, and the six "Bypass" rows of the equaliser. It is the
// one owner of these; the window's views show them and the operations read and replace them.
//
// Every edit goes through a setter. A setter applies the limits of its parameter (a typed
// value is clamped to its scale's ends and snapped to the nearest table entry, a step stops at
// the end of the scale) and then reports the block it edited with blockEdited(), whether the
// value changed or not: an edit sends its block again, as the units expect. Replacing the whole
// image reports imageReplaced() instead, and no block.
//
// Every edit that changes the image is a step the user can undo: one setter call, or all the
// edits between beginStep() and endStep() (a drag, a fader move). Undo, redo and an A/B swap
// put an earlier image back as an edit: each block that differs is reported with
// blockEdited(), so a connected unit gets exactly those blocks, and imageEdited() tells the
// views. A new image from the unit or a file clears the history and ends the comparison.
#pragma once

#include "model/edit_history.h"

#include "protocol/block_builders.h"
#include "protocol/frame_reader.h"
#include "protocol/parameter_image.h"

#include <QObject>

namespace quellaton {

class UnitModel : public QObject {
    Q_OBJECT
public:
    enum class Filter { HighPass, LowPass };

    explicit UnitModel(QObject* parent = nullptr);

    const ParameterImage& image() const { return image_; }
    const EqBand& band(int bandIndex) const;
    const SystemValues& system() const { return system_; }
    const PresetNames& presetNames() const { return names_; }
    // The status last reported (empty before the first report).
    const StatusReply& status() const { return status_; }
    const BypassRows& bypassRows() const { return bypass_; }
    bool rowBypassed(int row) const;

    // Whole sets, as they come from the unit or a file. Replacing the image also unticks the
    // six bypass rows.
    void replaceImage(const ParameterImage& image);
    void setSystem(const SystemValues& values);
    void setPresetNames(const PresetNames& names);
    // The name of preset slot 1..20, as 20 bytes (shorter names are padded with zero bytes).
    void setPresetName(int slot, const QByteArray& name);
    void setStatus(const StatusReply& status);

    // ---- Ways (High, Mid, Low) ----
    // Gain in dB: clamped to -20.0 .. +5.0 (Low: .. 0.0), then the nearest table entry.
    void setGainDb(int way, double db);
    // One table step up or down; false (and nothing sent) at the end of the way's scale.
    bool stepGain(int way, int delta);
    void toggleMute(int way);
    // Limiter threshold 0..19, attack 0..6, release 0..6 (positions in their lists).
    void setLimiterThreshold(int way, int code);
    void setLimiterAttack(int way, int code);
    void setLimiterRelease(int way, int code);

    // ---- Ways and Main ----
    void togglePolarity(int section);
    // Delay steps of 0.021 ms, 0..412.
    void setDelaySteps(int section, int steps);

    // ---- Main ----
    // Main level 0..301: 301 is 0.0 dB, each step down -0.2 dB, 0 is muted.
    void setMasterLevel(int level);
    void toggleBassEnhancer();
    void toggleBtlMode();

    // ---- Equaliser bands (band index 0..23) ----
    // Frequency in Hz: clamped to 19.7 .. 21900, then the nearest table entry.
    void setBandFrequencyHz(int bandIndex, double hz);
    // Q: clamped to 0.2 .. 36, then the nearest table entry.
    void setBandQ(int bandIndex, double q);
    // Gain in dB of the gain the band's type uses: clamped to -24.0 .. +12.0, then the nearest
    // entry. The other gain is kept.
    void setBandGainDb(int bandIndex, double db);
    // Type 0 peaking, 1 low shelf, 2 high shelf.
    void setBandType(int bandIndex, int type);
    // One table step; false (and nothing sent) at the end of the scale.
    bool stepBandFrequency(int bandIndex, int delta);
    bool stepBandQ(int bandIndex, int delta);
    bool stepBandGain(int bandIndex, int delta);
    // Frequency and gain index together (a drag on the graph), limited to their tables.
    void setBandPoint(int bandIndex, int frequencyIndex, int gainIndex);
    // The gains of the section's six bands to 0.0 dB, band 1 first ("Filters reset").
    void resetBandGains(int section);

    // ---- Crossovers (the ways and Main) ----
    void setCrossoverFrequencyHz(int section, Filter filter, double hz);
    // Type 0..8 in list order.
    void setCrossoverType(int section, Filter filter, int type);
    bool stepCrossover(int section, Filter filter, int delta);
    int crossoverIndex(int section, Filter filter) const;
    int crossoverType(int section, Filter filter) const;

    // ---- Bypass rows ----
    // Ticks or unticks row 0..5. No block is sent by this alone.
    void setRowBypassed(int row, bool bypassed);

    // An edit that leaves the values as they are: the block goes out again all the same.
    void touch(int slot);

    // ---- Steps, undo and redo ----
    // Edits until the matching endStep() form one step named `name` (or, when empty, named
    // after what changed). Nested calls join the outermost step.
    void beginStep(const QString& name = QString());
    void endStep();
    // Puts `image` in place as one step named `stepName`, reporting the blocks that differ.
    void applyEdit(const ParameterImage& image, const QString& stepName);
    const EditHistory& history() const { return history_; }
    bool undo();
    bool redo();

    // ---- A/B compare ----
    // The first call keeps the current settings as A and shows B, a copy of A; each further
    // call swaps the two. Edits (and their history) belong to the setting shown.
    void toggleComparison();
    void endComparison();
    bool comparing() const { return comparing_; }
    bool showingB() const { return comparing_ && showingB_; }

signals:
    // A setter edited the block of send slot 1..36.
    void blockEdited(int slot);
    // The whole image was replaced (and the bypass rows unticked).
    void imageReplaced();
    void bypassChanged(int row);
    void systemChanged();
    // All 20 names are new (the name table arrived).
    void presetNamesReplaced();
    // The name of preset slot 1..20 was stored.
    void presetNameChanged(int slot);
    void statusChanged();
    // Undo, redo, an A/B swap or applyEdit() changed the image; the blocks that differ have
    // been reported.
    void imageEdited();
    // The history's steps or the undo/redo names changed.
    void historyChanged();
    // A comparison began, swapped or ended.
    void comparisonChanged();

private:
    void edited(int slot);
    void recordStep(const QString& name);
    void restore(const ParameterImage& image);
    void mainEdited();
    void sectionEdited(int section);
    EqBand* bandAt(int bandIndex);
    int& crossoverIndexRef(int section, Filter filter);

    ParameterImage image_;
    BypassRows bypass_{};
    SystemValues system_;
    PresetNames names_{};
    StatusReply status_;
    bool replacing_ = false;

    EditHistory history_;
    ParameterImage committed_; // the image after the last recorded step
    int stepDepth_ = 0;
    QString stepName_;
    bool restoring_ = false;

    bool comparing_ = false;
    bool showingB_ = false;
    ParameterImage otherImage_; // the setting not shown while comparing
    EditHistory otherHistory_;  // and its steps
};

} // namespace quellaton
