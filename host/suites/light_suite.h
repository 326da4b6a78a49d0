// "AEGP Light Suite" 2: the type of a light layer.
#pragma once

#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_LightSuite2& lightSuite2();

}  // namespace zephrin::host
