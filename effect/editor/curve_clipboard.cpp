#include "effect/editor/curve_clipboard.h"

#include <algorithm>

#include "common/diagnostic_log.h"
#include "effect/control_points.h"
#include "effect/editor/top_view_editor.h"
#include "effect/stream_writing.h"

namespace zephrin {
namespace {

A_FloatPoint3 storedPoint(const EffectCall& call, int position) {
    const PF_Point3DDef& p = paramAt(call, position).u.point3d_d;
    return A_FloatPoint3{p.x_value, p.y_value, p.z_value};
}

}  // namespace

CurveClipboard& curveClipboard() {
    static CurveClipboard clipboard;
    return clipboard;
}

bool copyCurveShape(EffectCall& call) {
    if (modeOf(call) != param::kModeFree) return false;
    CurveClipboard& clipboard = curveClipboard();
    clipboard.closed = closedCurve(call);
    clipboard.count = std::clamp(activePointCount(call), 2, param::kPointSlots);
    clipboard.shape = popupValue(call, param::kShape);
    for (int slot = 0; slot < clipboard.count; ++slot) {
        clipboard.slots[slot] = CopiedSlot{storedPoint(call, param::pointPosition(slot)),
                                           storedPoint(call, param::rotationPosition(slot)),
                                           storedPoint(call, param::handlePosition(slot))};
    }
    clipboard.filled = true;
    topViewEditor().clipboardFilled = true;
    logEffect("CurveUI: copy top view curve shape");
    return true;
}

bool pasteCurveShape(EffectCall& call) {
    const CurveClipboard& clipboard = curveClipboard();
    if (!clipboard.filled) return false;
    if (clipboard.closed != closedCurve(call)) {
        storeOneD(call, param::kCloseEndpoints, clipboard.closed ? 1 : 0, "top-view-paste-close");
    }
    if (clipboard.shape != popupValue(call, param::kShape)) {
        storeOneD(call, param::kShape, clipboard.shape, "top-view-paste-shape");
    }
    storeOneD(call, param::kPointCount, clipboard.count - 1, "top-view-paste-count");
    for (int slot = 0; slot < clipboard.count; ++slot) {
        const CopiedSlot& copied = clipboard.slots[slot];
        storePointParam(call, param::pointPosition(slot), copied.point, "top-view-paste-point");
        storePointParam(call, param::rotationPosition(slot), copied.rotation, "top-view-paste-twist");
        storePointParam(call, param::handlePosition(slot), copied.handle, "top-view-paste-handle");
    }
    if (clipboard.closed) syncClosedEnds(call, clipboard.count, -1, "top-view-paste-close-sync");
    clearGeneratedState(call);
    writeOneD(call, param::kGeneratedState, 0, "top-view-paste");
    logEffect("CurveUI: paste top view curve shape");
    return true;
}

}  // namespace zephrin
