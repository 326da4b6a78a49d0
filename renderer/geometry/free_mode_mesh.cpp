#include "renderer/geometry/free_mode_mesh.h"
#include "renderer/geometry/slab_mesh.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>

#include "common/diagnostic_log.h"
#include "renderer/geometry/alpha_contour_walls.h"
#include "renderer/geometry/curve_sampler.h"
#include "renderer/texture/clamps.h"

namespace zephrin {

namespace {

// A column parameter this close to a whole number ends the previous tile rather than starting the next.
constexpr double kTileSplitEpsilon = 1e-9;
constexpr double kDegreesToRadians = std::numbers::pi / 180.0;

// Curve samples outside the finite numbers would carry NaN into every vertex of a column.
CurveSample finiteSample(CurveSample q) {
    q.x = finiteOr(q.x, 0.5);
    q.y = finiteOr(q.y, 0.0);
    q.twist = finiteOr(q.twist, 0.0);
    return q;
}

struct TileSplit {
    double tile = 0.0;
    double fraction = 0.0;
};

TileSplit splitTile(double p) {
    const double nearest = std::round(p);
    if (std::fabs(p - nearest) <= kTileSplitEpsilon) {
        return nearest > 0.0 ? TileSplit{nearest - 1.0, 1.0} : TileSplit{nearest, 0.0};
    }
    const double tile = std::floor(p);
    return TileSplit{tile, std::clamp(p - tile, 0.0, 1.0)};
}

bool flatPoint(const BendControlPoint& p) {
    return std::fabs(p.y) <= kStraightTolerance && std::fabs(p.twist) <= kStraightTolerance &&
           std::fabs(p.slope) <= kStraightTolerance && std::fabs(p.outSlope) <= kStraightTolerance &&
           std::fabs(p.inSlope) <= kStraightTolerance;
}

void logEllipse(const AnalyticEllipse& e) {
    if (!renderLogEnabled()) return;
    std::ostringstream line;
    line << "RendererV2Mesh: analyticCirclePreset center=(" << e.centerX << "," << e.centerY << ") radius=("
         << e.radiusX << "," << e.radiusY << ")"
         << " dir=" << e.direction;
    logRender(line.str());
}

}  // namespace

double slabHalfThickness(double thickness, double width, double height) {
    const double t = std::isnan(thickness) ? 0.0 : std::clamp(thickness / kMaxThickness, 0.0, 1.0);
    return std::pow(t, kThicknessExponent) * std::max(width, height) * kThicknessToLayerSize * 0.5;
}

SlabGrid buildFreeModeMesh(SceneSurface& surface, const std::vector<BendControlPoint>& points,
                           const MeshPlacement& placement) {
    const BendControls& controls = surface.controls;
    SurfaceMesh& mesh = surface.mesh;
    const double W = std::isfinite(placement.width) ? std::max(placement.width, 1.0) : 1.0;
    const double H = std::isfinite(placement.height) ? std::max(placement.height, 1.0) : 1.0;
    const double ox = finiteOr(placement.origin.x, 0.0), oy = finiteOr(placement.origin.y, 0.0);

    // 1-3. Grid size, loop, tiles and the way motion acts.
    const int32_t cols0 = std::clamp(controls.subdivisionX, kMinSubdivisionX,
                                     placement.interactive ? kMaxSubdivisionX / 2 : kMaxSubdivisionX);
    const int32_t cellRows = std::clamp(controls.subdivisionY, kMinSubdivisionY,
                                        placement.interactive ? kMaxSubdivisionY / 2 : kMaxSubdivisionY);
    const double motion = finiteOr(controls.motion, 100.0);
    const bool closedLoop = controls.closeEndpoints && points.size() >= 3;
    const int32_t tiles = (closedLoop || controls.closeEndpoints) ? 0 : std::clamp(controls.tileCount, 0, kMaxTiles);
    const bool shiftMode = !closedLoop && (tiles > 0 || motion > 100.0);
    const bool slideMode = !closedLoop && !shiftMode;
    std::vector<double> slideRange;
    int32_t cellColumns = (2 * tiles + 1) * cols0;
    if (slideMode) {
        slideRange = partialRange(cols0, std::min(motion, 100.0) / 100.0, controls.motionDirection == 2);
        cellColumns = static_cast<int32_t>(slideRange.size()) - 1;
    }
    mesh.vertices.clear();
    mesh.triangles.clear();
    if (cellColumns < 1) return SlabGrid{};

    // 4. The sampler and the curve's ends.
    CurveSampler sampler;
    sampler.closedLoop = closedLoop;
    sampler.slideMode = slideMode;
    sampler.shiftMode = shiftMode;
    sampler.motion = motion;
    sampler.motionDirection = controls.motionDirection;
    sampler.points = &points;
    sampler.ellipse = detectEllipse(controls, points);
    if (sampler.ellipse.valid) logEllipse(sampler.ellipse);
    sampler.aspectMode =
        closedLoop && (controls.shapePreset == param::kShapeSquare || controls.shapePreset == param::kShapeRoundSquare);
    sampler.aspectYScale = kAspectYScale;
    sampler.straight = points.size() >= 2 && std::all_of(points.begin(), points.end(), flatPoint);
    measureSampler(sampler);
    const CurveSample S = finiteSample(sample(sampler, 0.0));
    const CurveSample E = finiteSample(sample(sampler, 1.0));
    const double span = E.x - S.x, riseY = E.y - S.y, riseTwist = E.twist - S.twist;

    // 5. The bend frame: the curve displaces along d, the layer's height runs across it.
    const double a = (90.0 - finiteOr(controls.bendDirection, 0.0)) * kDegreesToRadians;
    const Vec3 reach{0.0, -std::cos(a) * H * kBendReachY, std::sin(a) * W * kBendReachZ};
    const double shift = shiftMode ? motionShift(controls, tiles) : 0.0;

    // 6. Centre points: each column is a straight line across the layer, from its centre along its
    // cross-section direction. The lines come first, then the points row by row, as they are stored.
    SlabCentreGrid grid;
    grid.columns = cellColumns + 1;
    grid.rows = cellRows + 1;
    grid.u.resize(static_cast<size_t>(grid.columns));
    std::vector<Vec3> centres(static_cast<size_t>(grid.columns)), acrosses(static_cast<size_t>(grid.columns));
    for (int32_t j = 0; j < grid.columns; ++j) {
        const double p =
            slideMode ? slideRange[static_cast<size_t>(j)] : static_cast<double>(j) / std::max(cols0, 1) - tiles;
        grid.u[static_cast<size_t>(j)] = p;
        const TileSplit split = splitTile(p + shift);
        const double k = split.tile;
        CurveSample q = finiteSample(sample(sampler, split.fraction));
        double xp = 0.0;
        if (k != 0.0 && controls.tileMirror && std::fabs(std::fmod(k, 2.0)) == 1.0) {
            q = finiteSample(sample(sampler, 1.0 - split.fraction));
            const double b = k < 1.0 ? (k + 1.0) * span : (k - 1.0) * span;
            const double e = k < 1.0 ? S.x : E.x;
            xp = 2.0 * (b + e) - (b + q.x);
        } else {
            xp = k * span + q.x;
            if (!controls.tileMirror) {
                q.y += k * riseY;
                q.twist += k * riseTwist;
            }
        }
        const double tau = q.twist * kDegreesToRadians;
        acrosses[static_cast<size_t>(j)] = Vec3{0.0, std::sin(a + tau), std::cos(a + tau)};
        centres[static_cast<size_t>(j)] = Vec3{ox + xp * W, oy + H * 0.5, 0.0} + reach * q.y;
    }
    grid.points.reserve(static_cast<size_t>(grid.columns) * grid.rows);
    for (int32_t i = 0; i < grid.rows; ++i) {
        const double h = (static_cast<double>(i) / cellRows - 0.5) * H;
        for (size_t j = 0; j < centres.size(); ++j) grid.points.push_back(centres[j] + acrosses[j] * h);
    }

    // 7-10. Grid normals, front and back vertices, faces, walls, alpha-contour walls and normals.
    return buildSlabOnGrid(surface, grid, slabHalfThickness(controls.thickness, W, H), false, closedLoop, placement);
}

}  // namespace zephrin
