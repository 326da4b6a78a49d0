// The thread-local window hooks of the Top View: the host's custom-UI events carry no wheel or
// middle-button events, and keys reach the effect only while the host gives it the focus. A mouse hook
// gives the editor wheel zoom and middle-button panning, a message hook feeds keys into the inline
// speed field. Everything they decide is done by the platform-free editor operations of editor_input.h.
#pragma once

#include "effect/editor/top_view_editor.h"

namespace zephrin {

// Each installs its hook for the calling thread when there is none or the one there belongs to another
// thread (that one is removed first). A hook that cannot be installed leaves its thread id 0.
void installMouseHook(TopViewEditor& editor);
void installMessageHook(TopViewEditor& editor);

}  // namespace zephrin
