// The main window: builds the areas and wires the feature classes together. It holds no
// protocol logic of its own.
#pragma once

#include "app/confirmation.h"
#include "app/connection.h"
#include "app/device_addressing.h"
#include "app/dialogs.h"
#include "app/keyboard_navigation.h"
#include "app/program_state.h"
#include "app/reply_dispatcher.h"
#include "app/shell_widgets.h"

#include <QMainWindow>
#include <memory>

#include "editors/channel_editors.h"
#include "graph/response_graph.h"

#include "app/initial_data_load.h"
#include "presets/device_presets.h"
#include "presets/preset_files.h"

namespace quellaton {

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(AppOptions options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    ProgramState& state() { return *state_; }
    ShellWidgets& widgets() { return w_; }
    Connection& connection() { return *connection_; }
    DeviceAddressing& addressing() { return *addressing_; }
    Confirmation& confirmation() { return *confirmation_; }
    TForm4& form4() { return *form4_; }
    TForm5& form5() { return *form5_; }
    TForm6& form6() { return *form6_; }
    ResponseGraph& graph() { return *graph_; }
    ChannelEditors& editors() { return *editors_; }
    FileChooser& fileChooser() { return fileChooser_; }
    PresetFiles& presetFiles() { return *presetFiles_; }
    DevicePresets& devicePresets() { return *devicePresets_; }
    InitialDataLoad& initialDataLoad() { return *initialDataLoad_; }
    KeyboardNavigation& keyboard() { return *keyboard_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void applyFonts();

    std::unique_ptr<ProgramState> state_;
    ShellWidgets w_;
    TForm4* form4_;
    TForm5* form5_;
    TForm6* form6_;
    std::unique_ptr<Confirmation> confirmation_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<ReplyDispatcher> dispatcher_;
    std::unique_ptr<DeviceAddressing> addressing_;
    ResponseGraph* graph_ = nullptr; // owned by its group box
    std::unique_ptr<ChannelEditors> editors_;
    FileChooser fileChooser_; // the preset file dialogs; tests replace them
    std::unique_ptr<PresetFiles> presetFiles_;
    std::unique_ptr<DevicePresets> devicePresets_;
    std::unique_ptr<InitialDataLoad> initialDataLoad_;
    KeyboardNavigation* keyboard_ = nullptr; // owned by the window
};

} // namespace quellaton
