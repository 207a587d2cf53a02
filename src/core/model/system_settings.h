// The settings of a parameter image as the loudspeaker model takes them: every frequency,
// gain and Q as its table value, the way gains from OutputGainTable, the Main level from its
// code (0 is muted), delays as steps x 0.021 ms.
#pragma once

#include "dsp/system_response.h"
#include "protocol/block_builders.h"
#include "protocol/parameter_image.h"

namespace quellaton {

// `bypass`: the six "Bypass" rows of the equaliser. A ticked row takes band k out of every
// section, as it does out of every trace the graph draws.
SystemSettings SystemSettingsOf(const ParameterImage& image, const BypassRows& bypass = {});

} // namespace quellaton
