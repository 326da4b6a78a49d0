// "AEGP Register Suite" 6: plug-ins register their Artisans and death hooks while the host loads them.
#pragma once

#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_RegisterSuite6& registerSuite6();

// The longest match or display name the host keeps; longer names are cut here.
constexpr size_t kMaxArtisanNameChars = 31;

}  // namespace zephrin::host
