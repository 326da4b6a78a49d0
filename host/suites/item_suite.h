// "AEGP Item Suite" 10: type, id and size of a composition or footage item.
#pragma once

#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_ItemSuite10& itemSuite10();

}  // namespace zephrin::host
