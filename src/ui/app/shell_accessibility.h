// What a screen reader says about the main window's shell and the dialogs: names for the
// controls whose captions do not say what they are or where ("OK", "Load", "x", a field with no
// caption of its own), and descriptions where they help. Visible captions stay as they are.
#pragma once

#include "app/dialogs.h"
#include "app/shell_widgets.h"

namespace quellaton {

void NameShellControls(ShellWidgets& w);
void NameDialogs(TForm4& btlPicture, TForm5& confirmation, TForm6& about);

} // namespace quellaton
