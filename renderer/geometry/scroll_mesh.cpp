#include "renderer/geometry/scroll_mesh.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "renderer/texture/clamps.h"

namespace zephrin {

namespace {

constexpr double kDegreesToRadians = std::numbers::pi / 180.0;
// Below these the spiral is a circle and the lengths of both curls count as nothing.
constexpr double kCircleSpiral = 1e-9;
constexpr double kMinCurlTotal = 1e-6;
constexpr double kMinDivisor = 1e-9;

ScrollCurl deriveCurl(const CurlControls& curl, double slab, bool rightSide) {
    ScrollCurl c;
    c.growth = std::max(slab, kMinCurlGrowth) + finiteOr(curl.radiusChangePerTurn, 0.0);
    c.startRadius = std::max(finiteOr(curl.radius, 1.0), 1.0);
    const double angle = finiteOr(curl.curlAngle, 0.0);
    c.maxAngle = curl.enabled ? std::fabs(angle) * kDegreesToRadians : 0.0;
    c.spiral = c.growth / (2.0 * std::numbers::pi);
    const double tilt = std::clamp(finiteOr(curl.tilt, 0.0), -kMaxCurlTilt, kMaxCurlTilt) * kDegreesToRadians;
    c.axisX = rightSide ? -std::cos(tilt) : std::cos(tilt);
    c.axisY = std::sin(tilt);
    c.rollsUp = angle < 0.0;
    return c;
}

// How many radians of the spiral an arc of length a covers (the arc-length formula solved for the
// angle, in the form that stays exact as the spiral constant nears zero).
double spiralAngle(const ScrollCurl& c, double a) {
    double theta = 0.0;
    if (std::fabs(c.spiral) >= kCircleSpiral) {
        const double root = std::sqrt(std::max(2.0 * c.spiral * a + c.startRadius * c.startRadius, 0.0));
        theta = 2.0 * a / std::max(root + c.startRadius, kMinDivisor);
        // A tightening spiral stops before its radius would turn negative.
        if (c.growth < 0.0) theta = std::min(theta, (c.startRadius - kTighteningMargin) / -c.spiral);
    } else {
        theta = a / c.startRadius;
    }
    return std::max(theta, 0.0);
}

bool rollInto(const ScrollCurl& c, double x, double y, Vec3& point) {
    if (!(c.used > 0.0)) return false;
    const double p = std::max(c.axisX * x + c.axisY * y - c.offset, 0.0);
    if (p > c.used) return false;
    const double a = c.used - p;
    const double theta = spiralAngle(c, a);
    const double s = std::sin(theta), co = std::cos(theta);
    const double along = (s * theta + co - 1.0) * c.spiral + s * c.startRadius;
    double rise = (s - co * theta) * c.spiral + (1.0 - co) * c.startRadius;
    if (!c.rollsUp) rise = -rise;
    point = Vec3{x + c.axisX * (a - along), y + c.axisY * (a - along), rise};
    return true;
}

}  // namespace

double scrollSlabThickness(double thickness, double width, double height) {
    return 2.0 * slabHalfThickness(thickness, width, height);
}

double scrollCurlLength(double growth, double startRadius, double angle) {
    const double len = angle * angle * growth / (4.0 * std::numbers::pi) + startRadius * angle;
    return std::isfinite(len) ? std::max(len, 0.0) : 0.0;
}

ScrollCurls deriveScrollCurls(const BendControls& controls, double width, double height) {
    const double W = std::isfinite(width) ? std::max(width, 1.0) : 1.0;
    const double H = std::isfinite(height) ? std::max(height, 1.0) : 1.0;
    const double slab = scrollSlabThickness(controls.thickness, W, H);
    ScrollCurls curls{deriveCurl(controls.leftCurl, slab, false), deriveCurl(controls.rightCurl, slab, true)};
    double lenL = scrollCurlLength(curls.left.growth, curls.left.startRadius, curls.left.maxAngle);
    double lenR = scrollCurlLength(curls.right.growth, curls.right.startRadius, curls.right.maxAngle);
    const double total = lenL + lenR;
    if (total > W && total > kMinCurlTotal) {
        lenL *= W / total;
        lenR *= W / total;
    }
    curls.left.used = std::min(lenL, W);
    curls.right.used = std::min(lenR, W - curls.left.used);
    for (ScrollCurl* c : {&curls.left, &curls.right}) {
        c->offset = std::min(c->axisX, 0.0) * W + std::min(c->axisY, 0.0) * H;
    }
    return curls;
}

Vec3 rollScrollPoint(const ScrollCurls& curls, double x, double y) {
    Vec3 point{x, y, 0.0};
    // The left zone wins where the two touch.
    if (!rollInto(curls.left, x, y, point)) rollInto(curls.right, x, y, point);
    return point;
}

SlabCentreGrid buildScrollCentreGrid(const BendControls& controls, const MeshPlacement& placement) {
    const PlacedLayer placed = placedLayer(placement);
    const double W = placed.width, H = placed.height, ox = placed.originX, oy = placed.originY;
    const SubdivisionCells cells = subdivisionCells(controls, placement.interactive);
    const int32_t cols = cells.columns, rows = cells.rows;
    const ScrollCurls curls = deriveScrollCurls(controls, W, H);

    SlabCentreGrid grid;
    grid.columns = cols + 1;
    grid.rows = rows + 1;
    grid.points.reserve(static_cast<size_t>(grid.columns) * grid.rows);
    grid.u.resize(static_cast<size_t>(grid.columns));
    for (int32_t j = 0; j < grid.columns; ++j) grid.u[static_cast<size_t>(j)] = static_cast<double>(j) / cols;
    for (int32_t i = 0; i < grid.rows; ++i) {
        const double y = H * i / rows;
        for (int32_t j = 0; j < grid.columns; ++j) {
            grid.points.push_back(rollScrollPoint(curls, W * j / cols, y) + Vec3{ox, oy, 0.0});
        }
    }
    return grid;
}

SlabGrid buildScrollMesh(SceneSurface& surface, const MeshPlacement& placement) {
    const SlabCentreGrid grid = buildScrollCentreGrid(surface.controls, placement);
    const PlacedLayer placed = placedLayer(placement);
    // The long row edges can thin to slivers once rolled: they get the fine coverage.
    return buildSlabOnGrid(surface, grid, slabHalfThickness(surface.controls.thickness, placed.width, placed.height), true, false,
                           placement);
}

}  // namespace zephrin
