// "AEGP World Suite" 2 and 3 (one table): worlds a plug-in creates, and access to every world the host
// lends or keeps (size, type, stride, base address).
#pragma once

#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_WorldSuite3& worldSuite();

}  // namespace zephrin::host
