// "AEGP Keyframe Suite" 4 and "AEGP Dynamic Stream Suite" 4 on effect parameter streams: keyframe count,
// insertion and values; the timeline flags (hidden, disabled…) of a stream.
#pragma once

#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin::host {

const AEGP_KeyframeSuite4& keyframeSuite4();
const AEGP_DynamicStreamSuite4& dynamicStreamSuite4();

}  // namespace zephrin::host
