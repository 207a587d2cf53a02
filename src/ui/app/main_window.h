// The main window: builds the areas and wires the views to the session with the units. It holds
// no protocol logic of its own.
#pragma once

#include "app/connection.h"
#include "app/device_addressing.h"
#include "app/dialogs.h"
#include "app/file_chooser.h"
#include "app/initial_data_load.h"
#include "app/keyboard_navigation.h"
#include "app/shell_widgets.h"
#include "app/way_selection.h"
#include "editors/channel_editors.h"
#include "graph/response_graph.h"
#include "operations/unit_session.h"
#include "presets/device_presets.h"
#include "presets/preset_files.h"

#include <QMainWindow>
#include <memory>

namespace quellaton {

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(AppOptions options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    UnitSession& session() { return *session_; }
    WaySelection& selection() { return selection_; }
    ShellWidgets& widgets() { return w_; }
    Connection& connection() { return *connection_; }
    DeviceAddressing& addressing() { return *addressing_; }
    TForm4& form4() { return *form4_; }
    TForm5& form5() { return *form5_; }
    TForm6& form6() { return *form6_; }
    ResponseGraph& graph() { return *graph_; }
    ChannelEditors& editors() { return *editors_; }
    FileChooser& fileChooser() { return fileChooser_; }
    PresetFiles& presetFiles() { return *presetFiles_; }
    DevicePresets& devicePresets() { return *devicePresets_; }
    InitialDataPanel& initialDataLoad() { return *initialDataLoad_; }
    KeyboardNavigation& keyboard() { return *keyboard_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void applyFonts();

    std::unique_ptr<UnitSession> session_;
    WaySelection selection_;
    AppOptions options_;
    ShellWidgets w_;
    TForm4* form4_;
    TForm5* form5_;
    TForm6* form6_;
    Connection* connection_ = nullptr;
    DeviceAddressing* addressing_ = nullptr;
    ResponseGraph* graph_ = nullptr; // owned by its group box
    std::unique_ptr<ChannelEditors> editors_;
    FileChooser fileChooser_; // the preset file dialogs; tests replace them
    PresetFiles* presetFiles_ = nullptr;
    DevicePresets* devicePresets_ = nullptr;
    InitialDataPanel* initialDataLoad_ = nullptr;
    KeyboardNavigation* keyboard_ = nullptr; // owned by the window
};

} // namespace quellaton
