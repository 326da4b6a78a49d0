// The renderer's only exported symbol: the host calls it once at start-up.
#include <type_traits>

#include "renderer/driver/renderer_entry.h"
#include "sdk/AE_GeneralPlug.h"

extern "C" __attribute__((visibility("default"))) A_Err EntryPointFunc(struct SPBasicSuite* pica_basicP,
                                                                       A_long major_versionL, A_long minor_versionL,
                                                                       AEGP_PluginID aegp_plugin_id,
                                                                       AEGP_GlobalRefcon* global_refconP) {
    return zephrin::rendererEntryPoint(pica_basicP, major_versionL, minor_versionL, aegp_plugin_id, global_refconP);
}

static_assert(std::is_same_v<decltype(&EntryPointFunc), AEGP_PluginInitFuncPrototype>,
              "EntryPointFunc must match the host's registration entry");
