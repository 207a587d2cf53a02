#pragma once

#include <QByteArrayView>

namespace quellaton {

class ProgramState;

// Shows a whole parameter set: decodes the image text (a reply frame's hex text) into the
// program's image with its limits, lets every view refresh from it, and then drops every
// pending block write and the received text. No block is queued while the views refresh.
void ApplyImage(ProgramState& state, QByteArrayView imageText);

} // namespace quellaton
