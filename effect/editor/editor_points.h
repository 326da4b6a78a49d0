// The control-point parameters as the editor sees them (positions in the curve's normalized plane,
// slopes and handles unpacked), the way back to stored values, and hit testing of points and handles.
#pragma once

#include <vector>

#include "effect/control_points.h"
#include "effect/editor/editor_layout.h"

namespace zephrin {

struct EditorPoint {
    double x = 0.5, y = 0.5;  // normalized
    double slope = 0;
    double outLength = kDefaultHandleLength;
    double inLength = kDefaultHandleLength;
    double outSlope = 0;
    double inSlope = 0;
    int index = 0;
};

// The n active points from the command's parameter array. Closed curves of three or more points have
// their last point on the first (the loop's seam).
std::vector<EditorPoint> buildEditorPoints(const EffectCall& call);

// The normalized position of one stored point in the centred form; a non-finite coordinate counts as 0.5.
ScreenPoint normalizedOfStored(double x, double y, const LayerSize& size);
// The stored x and y of a normalized position, always in the centred form.
A_FloatPoint storedOfNormalized(double nx, double ny, const LayerSize& size);

// Handle ends in the normalized plane.
inline ScreenPoint outHandleOf(const EditorPoint& p) { return {p.x + p.outLength, p.y + p.outSlope * p.outLength}; }
inline ScreenPoint inHandleOf(const EditorPoint& p) { return {p.x - p.inLength, p.y - p.inSlope * p.inLength}; }

// Whether the point is drawn and hit: on a closed curve of four or more points the last one is the
// seam copy of the first.
bool isSeamCopy(int index, int count, bool closed);

// A point is hit within 14 pixels, a handle within 13 and only when nearer than every point.
constexpr double kPointHitD2 = 196.0;
constexpr double kHandleHitD2 = 169.0;

struct EditorHit {
    int point = -1;
    double pointD2 = 1e12;
    int handlePoint = -1;
    int handleSide = 0;  // +1 out, -1 in
    double handleD2 = 1e12;

    bool pointHit() const { return point >= 0 && pointD2 <= kPointHitD2; }
    bool handleHit() const { return handlePoint >= 0 && handleD2 <= kHandleHitD2 && handleD2 < pointD2; }
};

EditorHit hitTest(const std::vector<EditorPoint>& points, const ContentBox& box, bool closed, double mx, double my);

}  // namespace zephrin
