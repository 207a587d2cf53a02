#include "app/image_apply.h"

#include "app/program_state.h"

namespace quellaton {

void ApplyImage(ProgramState& state, QByteArrayView imageText) {
    state.applyingImage = true;
    state.image = DecodeImageText(imageText);
    emit state.imageApplied();
    state.sendSlots.clearAll();
    state.driver.ReceiveText.clear();
    state.applyingImage = false;
}

} // namespace quellaton
