// The main window: builds the areas and wires the views to the session with the units. It holds
// no protocol logic of its own.
#pragma once

#include "common/dialogs.h"
#include "common/file_chooser.h"
#include "common/shell_widgets.h"
#include "common/way_selection.h"
#include "editors/channel_editors.h"
#include "graph/response_graph.h"
#include "graph/view_menu_panel.h"
#include "operations/unit_session.h"
#include "panels/addressing_panel.h"
#include "panels/connection_panel.h"
#include "panels/device_presets_panel.h"
#include "panels/edit_menu_panel.h"
#include "panels/eq_import_panel.h"
#include "panels/initial_data_load.h"
#include "panels/preset_document_panel.h"
#include "panels/preset_files_panel.h"
#include "window/keyboard_navigation.h"

#include <QMainWindow>
#include <memory>

namespace quellaton {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    UnitSession& session() { return *session_; }
    WaySelection& selection() { return selection_; }
    ShellWidgets& widgets() { return w_; }
    ConnectionPanel& connection() { return *connection_; }
    AddressingPanel& addressing() { return *addressing_; }
    BtlPictureDialog& btlPictureDialog() { return *btlPictureDialog_; }
    ConfirmationDialog& confirmationDialog() { return *confirmationDialog_; }
    AboutBox& aboutBox() { return *aboutBox_; }
    ResponseGraph& graph() { return *graph_; }
    ChannelEditors& editors() { return *editors_; }
    FileChooser& fileChooser() { return fileChooser_; }
    DevicePresetsPanel& devicePresets() { return *devicePresets_; }
    InitialDataPanel& initialDataLoad() { return *initialDataLoad_; }
    KeyboardNavigation& keyboard() { return *keyboard_; }
    PresetDocumentPanel& document() { return *document_; }
    EditMenuPanel& editMenu() { return *editMenu_; }
    EqImportPanel& eqImport() { return *eqImport_; }
    ViewMenuPanel& viewMenu() { return *viewMenu_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setUpWindow();
    void applyFonts();

    std::unique_ptr<UnitSession> session_;
    WaySelection selection_;
    AppOptions options_;
    ShellWidgets w_;
    BtlPictureDialog* btlPictureDialog_;
    ConfirmationDialog* confirmationDialog_;
    AboutBox* aboutBox_;
    ConnectionPanel* connection_ = nullptr;
    AddressingPanel* addressing_ = nullptr;
    ResponseGraph* graph_ = nullptr; // owned by its group box
    std::unique_ptr<ChannelEditors> editors_;
    FileChooser fileChooser_; // the preset file dialogs; tests replace them
    PresetFilesPanel* presetFiles_ = nullptr;
    DevicePresetsPanel* devicePresets_ = nullptr;
    InitialDataPanel* initialDataLoad_ = nullptr;
    KeyboardNavigation* keyboard_ = nullptr; // owned by the window
    PresetDocumentPanel* document_ = nullptr;
    EditMenuPanel* editMenu_ = nullptr;
    EqImportPanel* eqImport_ = nullptr;
    ViewMenuPanel* viewMenu_ = nullptr;
};

} // namespace quellaton
