// "AEGP Footage Suite" 11: a footage item's main footage and its file path.
#pragma once

#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_FootageSuite11& footageSuite11();

}  // namespace zephrin::host
