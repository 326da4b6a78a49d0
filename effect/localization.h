// Which language the effect speaks: detected from the host (then the operating system) when the
// parameters are registered, and afterwards the "Language" parameter. Relabelling writes a
// parameter's label, choice string and button text for a language into a copy of its definition.
#pragma once

#include "common/host_suites.h"
#include "effect/effect_call.h"
#include "sdk/AE_Effect.h"

namespace zephrin {

// 1 (Chinese) or 2 (English): the host's language tag when the host answers, else the OS UI language.
int detectLanguage(HostSuites& suites);

// True for a language tag whose first two letters are z and h, in either case.
bool isChineseLanguageTag(const char* tag);

// Writes the position's label (cut to the definition's 31 characters), choice string and button text.
void relabel(PF_ParamDef& def, int position, bool chinese);

// Every translatable parameter relabelled for the "Language" parameter's value and re-sent, then the
// mode visibility.
void onLanguageChanged(EffectCall& call);

}  // namespace zephrin
