// Which section the channel editors act on and which of its panels is open: the current way
// (-1 none, 0..2 the ways, 3 Main) and the current panel kind (-1 none, 0 EQ/HPF/LPF, 1
// Limiter, 2 Delay, 3 Gain, 4 the device search result).
#pragma once

#include <QObject>
#include <QString>

namespace quellaton {

enum PanelKind {
    EqPanel = 0,
    LimiterPanel = 1,
    DelayPanel = 2,
    GainPanel = 3,
    SearchResultPanel = 4
};

// "High", "Mid", "Low", "Main" for way 0..3; empty for none.
inline QString SectionName(int way) {
    static const char* const names[4] = {"High", "Mid", "Low", "Main"};
    return way >= 0 && way < 4 ? QLatin1String(names[way]) : QString();
}

class WaySelection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    int way() const { return way_; }
    int panel() const { return panel_; }
    bool is(int way, int panel) const { return way_ == way && panel_ == panel; }

    // Sets the way and panel kind without telling anyone (the editors tell once they have
    // loaded what the selection shows).
    void set(int way, int panel) {
        way_ = way;
        panel_ = panel;
    }
    void setPanel(int panel) { panel_ = panel; }
    // The selection changed, or a section or popup was loaded for it: the editors show which
    // of their controls act now.
    void announce() { emit changed(); }
    // Asks for the close-panel operation: the highlighted button goes back to normal, the
    // popup closes, the search result gives way to the editor area, and no way is selected.
    void requestClose() { emit closeRequested(); }

signals:
    void changed();
    void closeRequested();

private:
    int way_ = -1;
    int panel_ = -1;
};

} // namespace quellaton
