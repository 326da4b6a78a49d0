// "AEGP Comp Suite" 9: the composition's item, frame rate and preview downsample factor.
#pragma once

#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_CompSuite9& compSuite9();

}  // namespace zephrin::host
