// Registration of the parameter list at PF_Cmd_PARAMS_SETUP, in the detected language.
#pragma once

#include "common/host_suites.h"
#include "sdk/AE_Effect.h"

namespace zephrin {

// The definition registered for a position: cleared, then filled from the table. The "Language"
// default is the given language and the "Top View" size the editor's, clamped.
PF_ParamDef makeParamDef(int position, int language);

// Adds every parameter in order, sets num_params and registers the effect's custom UI.
PF_Err paramsSetup(HostSuites& suites, PF_InData* in_data, PF_OutData* out_data);

}  // namespace zephrin
