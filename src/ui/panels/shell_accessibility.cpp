#include "panels/shell_accessibility.h"

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
    Name(w.portList, QStringLiteral("COM port"),
         QStringLiteral("Serial port of the units' line. Ports given on the command line come "
                        "last."));
    Name(w.deviceIdList, QStringLiteral("Device ID"),
         QStringLiteral("The unit to connect to, 1 to 255."));
    Name(w.connectButton, QString(),
         QStringLiteral("Connects to the chosen unit on the chosen port, or disconnects."));
    Name(w.broadcastButton, QStringLiteral("Broadcast mode"),
         QStringLiteral("Addresses every unit on the line at once."));
    Name(w.connectionIndicator, QStringLiteral("Connection indicator"));
    Name(w.newIdField, QStringLiteral("Device ID to set"),
         QStringLiteral("New device ID for the connected unit, 1 to 255."));
    Name(w.setIdButton, QStringLiteral("Set device ID"),
         QStringLiteral("Gives the connected unit the device ID typed beside it."));
    // The readouts keep their text as their name; the description says what it is.
    Name(w.temperatureLabel, QString(), QStringLiteral("Temperature of the unit in °C"));
    Name(w.attenuationLabel, QString(), QStringLiteral("Attenuation of the unit"));

    // Device presets.
    Name(w.devicePresetList, QStringLiteral("Device preset to load"));
    Name(w.recallButton, QStringLiteral("Load device preset"),
         QStringLiteral("Recalls the chosen preset in the unit."));
    Name(w.userSlotList, QStringLiteral("User preset slot to save"));
    Name(w.presetNameField, QStringLiteral("User preset name"),
         QStringLiteral("Name to store with the user preset, up to 19 characters."));
    Name(w.storeNameButton, QStringLiteral("Save user preset"),
         QStringLiteral("Stores the working settings in the chosen user slot under the name."));

    // Progress, search and its result, the initial data source.
    Name(w.progressBar, QStringLiteral("Data exchange progress"));
    Name(w.searchProgressBar, QStringLiteral("Device search progress"));
    Name(w.cancelSearchButton, QStringLiteral("Cancel device search"));
    Name(w.searchResultList, QStringLiteral("Search result list"));
    Name(w.searchResultList->verticalScrollBar(),
         QStringLiteral("Search result list vertical scroll"));
    Name(w.searchResultList->horizontalScrollBar(),
         QStringLiteral("Search result list horizontal scroll"));
    Name(w.closeResultButton, QStringLiteral("Back to the editors"),
         QStringLiteral("Closes the search result."));
    Name(w.resultCloseButton, QStringLiteral("Close search result"));
    Name(w.closeInitialDataButton, QStringLiteral("Close initial data source"),
         QStringLiteral("Closes the choice and disconnects."));
    Name(w.sourceIdField, QStringLiteral("Device ID of the initial data source"));
    Name(w.sourceIdButton, QStringLiteral("Load initial data from that device ID"));

    Name(w.connectionPane, QString(), QStringLiteral("Connection state"));
}

void NameDialogs(BtlPictureDialog& btlPicture, ConfirmationDialog& confirmation, AboutBox& about) {
    Name(&btlPicture, QString(), QStringLiteral("Wiring of BTL mode"));
    // The confirmation's buttons carry the captions its caller gives them ("Yes", "Proceed",
    // "NO"), which say what they do.
    Name(confirmation.messageLabel, QString(), QStringLiteral("Message"));
    Name(about.addressLabel, QStringLiteral("Support web address"),
         QStringLiteral("Opens the maker's support page for the user manual and software "
                        "updates."));
    Name(about.okButton, QStringLiteral("Close about box"));
}

} // namespace quellaton
