// The effect's global data: one host handle created at global setup and kept by the host in
// PF_OutData.global_data, holding the AEGP plug-in id that every stream write is made under.
#pragma once

#include "common/host_suites.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

// Field order is fixed: the host keeps the handle's bytes.
struct EffectGlobals {
    A_u_char initialised = 0;
    AEGP_PluginID pluginId = 0;  // 0 when the host is Premiere Pro or registration failed
};

// Global setup and setdown, without the command's log lines.
PF_Err globalSetup(HostSuites& suites, PF_InData* in_data, PF_OutData* out_data);
PF_Err globalSetdown(HostSuites& suites, PF_InData* in_data);

// The plug-in id in the global data; 0 without global data or when it cannot be locked.
AEGP_PluginID readPluginId(HostSuites& suites, PF_Handle globalData);

// The host's basic suite from the last global setup, for host calls made outside a command.
const SPBasicSuite* lastBasicSuite();

}  // namespace zephrin
