#include "app/shell_accessibility.h"

#include <QScrollBar>

namespace quellaton {

namespace {

void Name(QWidget* widget, const QString& name, const QString& description = QString()) {
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

} // namespace

void NameShellControls(ShellWidgets& w) {
    // Connection and device addressing.
    Name(w.RzComboBox1, QStringLiteral("COM port"),
         QStringLiteral("Serial port of the units' line. Ports given on the command line come "
                        "last."));
    Name(w.RzComboBox6, QStringLiteral("Device ID"),
         QStringLiteral("The unit to connect to, 1 to 255."));
    Name(w.Button3, QString(),
         QStringLiteral("Connects to the chosen unit on the chosen port, or disconnects."));
    Name(w.RzButton8, QStringLiteral("Broadcast mode"),
         QStringLiteral("Addresses every unit on the line at once."));
    Name(w.Image15, QStringLiteral("Connection indicator"));
    Name(w.RzEdit2, QStringLiteral("Device ID to set"),
         QStringLiteral("New device ID for the connected unit, 1 to 255."));
    Name(w.Button1, QStringLiteral("Set device ID"),
         QStringLiteral("Gives the connected unit the device ID typed beside it."));
    // The readouts keep their text as their name; the description says what it is.
    Name(w.temperatureLabel, QString(), QStringLiteral("Temperature of the unit in °C"));
    Name(w.attenuationLabel, QString(), QStringLiteral("Attenuation of the unit"));

    // Device presets.
    Name(w.devicePresetList, QStringLiteral("Device preset to load"));
    Name(w.RzButton9, QStringLiteral("Load device preset"),
         QStringLiteral("Recalls the chosen preset in the unit."));
    Name(w.RzComboBox11, QStringLiteral("User preset slot to save"));
    Name(w.RzEdit1, QStringLiteral("User preset name"),
         QStringLiteral("Name to store with the user preset, up to 19 characters."));
    Name(w.RzButton10, QStringLiteral("Save user preset"),
         QStringLiteral("Stores the working settings in the chosen user slot under the name."));

    // Progress, search and its result, the initial data source.
    Name(w.RzProgressBar1, QStringLiteral("Data exchange progress"));
    Name(w.RzProgressBar2, QStringLiteral("Device search progress"));
    Name(w.Button2, QStringLiteral("Cancel device search"));
    Name(w.Memo1, QStringLiteral("Search result list"));
    Name(w.Memo1->verticalScrollBar(), QStringLiteral("Search result list vertical scroll"));
    Name(w.Memo1->horizontalScrollBar(), QStringLiteral("Search result list horizontal scroll"));
    Name(w.SpeedButton1, QStringLiteral("Back to the editors"),
         QStringLiteral("Closes the search result."));
    Name(w.RzButton11, QStringLiteral("Close search result"));
    Name(w.SpeedButton3, QStringLiteral("Close initial data source"),
         QStringLiteral("Closes the choice and disconnects."));
    Name(w.RzEdit3, QStringLiteral("Device ID of the initial data source"));
    Name(w.Button10, QStringLiteral("Load initial data from that device ID"));

    Name(w.RzStatusPane2, QString(), QStringLiteral("Connection state"));
}

void NameDialogs(TForm4& btlPicture, TForm5& confirmation, TForm6& about) {
    Name(&btlPicture, QString(), QStringLiteral("Wiring of BTL mode"));
    // The confirmation's buttons carry the captions its caller gives them ("Yes", "Proceed",
    // "NO"), which say what they do.
    Name(confirmation.RzLabel9, QString(), QStringLiteral("Message"));
    Name(about.addressLabel, QStringLiteral("Support web address"),
         QStringLiteral("Opens the maker's support page for the user manual and software "
                        "updates."));
    Name(about.okButton, QStringLiteral("Close about box"));
}

} // namespace quellaton
