// The PF suites an effect acquires: "PF Handle Suite" 2 (relocatable memory for its global data),
// "PF AE App Suite" 1 (the user-interface language), "PF AE Adv Item Suite" 1 (redraw the active item),
// "PF ANSI Suite" 1 and "PF Param Utils Suite" 3 (a control's UI: flags, label, choices, size).
#pragma once

#include "sdk/AE_EffectSuites.h"

namespace zephrin::host {

const PF_HandleSuite2& pfHandleSuite2();
const PFAppSuite1& pfAppSuite1();
const PF_AdvItemSuite1& pfAdvItemSuite1();
const PF_ANSICallbacksSuite1& pfAnsiSuite1();
const PF_ParamUtilsSuite3& pfParamUtilsSuite3();

// The host cannot know the size of a buffer the ANSI sprintf writes into; effects use it for their
// messages, so it writes at most a message's length.
constexpr size_t kAnsiSprintfLimit = PF_MAX_EFFECT_MSG_LEN + 1;

}  // namespace zephrin::host
