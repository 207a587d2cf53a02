// What a screen reader says about the main window's shell and the dialogs: names for the
// controls whose captions do not say what they are or where ("OK", "Load", "x", a field with no
// caption of its own), and descriptions where they help. Visible captions stay as they are.
#pragma once

#include "common/dialogs.h"
#include "common/shell_widgets.h"

namespace quellaton {

void NameShellControls(ShellWidgets& w);
void NameDialogs(BtlPictureDialog& btlPicture, ConfirmationDialog& confirmation, AboutBox& about);

} // namespace quellaton
