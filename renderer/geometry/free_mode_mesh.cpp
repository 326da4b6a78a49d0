#include "renderer/geometry/free_mode_mesh.h"
#include "renderer/geometry/slab_mesh.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>

#include "common/diagnostic_log.h"
#include "renderer/geometry/alpha_contour_walls.h"
#include "renderer/geometry/curve_sampler.h"
#include "renderer/geometry/fresh_memory.h"
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

// The grid's size and the way motion acts: a closed loop, tiles shifted along the curve, or a part
// of the curve slid in.
struct FreeModeLayout {
    int32_t passColumns = 0;  // cell columns of one pass along the curve
    int32_t cellColumns = 0;
    int32_t cellRows = 0;
    int32_t tiles = 0;  // copies of the curve on either side
    double motion = 100.0;
    bool closedLoop = false;
    bool shiftMode = false;
    bool slideMode = false;
    std::vector<double> slideRange;  // the columns' curve parameters in slide mode
};

FreeModeLayout freeModeLayout(const BendControls& controls, size_t pointCount, bool interactive) {
    FreeModeLayout layout;
    const SubdivisionCells cells = subdivisionCells(controls, interactive);
    layout.passColumns = cells.columns;
    layout.cellRows = cells.rows;
    layout.motion = finiteOr(controls.motion, 100.0);
    layout.closedLoop = controls.closeEndpoints && pointCount >= 3;
    layout.tiles =
        (layout.closedLoop || controls.closeEndpoints) ? 0 : std::clamp(controls.tileCount, 0, kMaxTiles);
    layout.shiftMode = !layout.closedLoop && (layout.tiles > 0 || layout.motion > 100.0);
    layout.slideMode = !layout.closedLoop && !layout.shiftMode;
    layout.cellColumns = (2 * layout.tiles + 1) * layout.passColumns;
    if (layout.slideMode) {
        layout.slideRange =
            partialRange(layout.passColumns, std::min(layout.motion, 100.0) / 100.0, controls.motionDirection == 2);
        layout.cellColumns = static_cast<int32_t>(layout.slideRange.size()) - 1;
    }
    return layout;
}

// The sampler of the curve through the control points, measured once for all its samples.
CurveSampler curveSamplerFor(const BendControls& controls, const std::vector<BendControlPoint>& points,
                             const FreeModeLayout& layout) {
    CurveSampler sampler;
    sampler.closedLoop = layout.closedLoop;
    sampler.slideMode = layout.slideMode;
    sampler.shiftMode = layout.shiftMode;
    sampler.motion = layout.motion;
    sampler.motionDirection = controls.motionDirection;
    sampler.points = &points;
    sampler.ellipse = detectEllipse(controls, points);
    if (sampler.ellipse.valid) logEllipse(sampler.ellipse);
    sampler.aspectMode = layout.closedLoop && (controls.shapePreset == param::kShapeSquare ||
                                               controls.shapePreset == param::kShapeRoundSquare);
    sampler.aspectYScale = kAspectYScale;
    sampler.straight = points.size() >= 2 && std::all_of(points.begin(), points.end(), flatPoint);
    measureSampler(sampler);
    return sampler;
}

// The curve's two ends, and how far one pass of it reaches, rises and twists: what tiles repeat.
struct CurveEnds {
    CurveSample start, end;
    double span = 0.0, riseY = 0.0, riseTwist = 0.0;
};

CurveEnds curveEnds(const CurveSampler& sampler) {
    CurveEnds ends;
    ends.start = finiteSample(sample(sampler, 0.0));
    ends.end = finiteSample(sample(sampler, 1.0));
    ends.span = ends.end.x - ends.start.x;
    ends.riseY = ends.end.y - ends.start.y;
    ends.riseTwist = ends.end.twist - ends.start.twist;
    return ends;
}

// The curve sample a column shows and its x along the tiled curve, for the column's parameter with the
// motion shift applied. Tile k repeats the curve k spans along, risen by k passes, or mirrored in
// every odd tile.
struct TiledSample {
    CurveSample q;
    double x = 0.0;
};

TiledSample tiledSample(const CurveSampler& sampler, const CurveEnds& ends, double shifted, bool mirror) {
    const TileSplit split = splitTile(shifted);
    const double k = split.tile;
    TiledSample out{finiteSample(sample(sampler, split.fraction)), 0.0};
    if (k != 0.0 && mirror && std::fabs(std::fmod(k, 2.0)) == 1.0) {
        out.q = finiteSample(sample(sampler, 1.0 - split.fraction));
        const double b = k < 1.0 ? (k + 1.0) * ends.span : (k - 1.0) * ends.span;
        const double e = k < 1.0 ? ends.start.x : ends.end.x;
        out.x = 2.0 * (b + e) - (b + out.q.x);
    } else {
        out.x = k * ends.span + out.q.x;
        if (!mirror) {
            out.q.y += k * ends.riseY;
            out.q.twist += k * ends.riseTwist;
        }
    }
    return out;
}

// Centre points: each column is a straight line across the layer, from its centre along its
// cross-section direction in the bend frame (the curve displaces along `reach`, the layer's height
// runs across it). The lines come first, then the points row by row, as they are stored.
SlabCentreGrid centreGrid(const FreeModeLayout& layout, const CurveSampler& sampler, const BendControls& controls,
                          double W, double H, double ox, double oy) {
    const CurveEnds ends = curveEnds(sampler);
    const double a = (90.0 - finiteOr(controls.bendDirection, 0.0)) * kDegreesToRadians;
    const Vec3 reach{0.0, -std::cos(a) * H * kBendReachY, std::sin(a) * W * kBendReachZ};
    const double shift = layout.shiftMode ? motionShift(controls, layout.tiles) : 0.0;

    SlabCentreGrid grid;
    grid.columns = layout.cellColumns + 1;
    grid.rows = layout.cellRows + 1;
    grid.u.resize(static_cast<size_t>(grid.columns));
    std::vector<Vec3> centres(static_cast<size_t>(grid.columns)), acrosses(static_cast<size_t>(grid.columns));
    for (int32_t j = 0; j < grid.columns; ++j) {
        const double p = layout.slideMode ? layout.slideRange[static_cast<size_t>(j)]
                                          : static_cast<double>(j) / std::max(layout.passColumns, 1) - layout.tiles;
        grid.u[static_cast<size_t>(j)] = p;
        const TiledSample column = tiledSample(sampler, ends, p + shift, controls.tileMirror);
        const double tau = column.q.twist * kDegreesToRadians;
        acrosses[static_cast<size_t>(j)] = Vec3{0.0, std::sin(a + tau), std::cos(a + tau)};
        centres[static_cast<size_t>(j)] = Vec3{ox + column.x * W, oy + H * 0.5, 0.0} + reach * column.q.y;
    }
    grid.points.reserve(static_cast<size_t>(grid.columns) * grid.rows);
    // 21 MB at the full caps, new on every frame: faulted in ahead rather than page by page below.
    prefaultFreshMemory(grid.points);
    for (int32_t i = 0; i < grid.rows; ++i) {
        const double h = (static_cast<double>(i) / layout.cellRows - 0.5) * H;
        for (size_t j = 0; j < centres.size(); ++j) grid.points.push_back(centres[j] + acrosses[j] * h);
    }
    return grid;
}

}  // namespace

double slabHalfThickness(double thickness, double width, double height) {
    const double t = std::isnan(thickness) ? 0.0 : std::clamp(thickness / kMaxThickness, 0.0, 1.0);
    return std::pow(t, kThicknessExponent) * std::max(width, height) * kThicknessToLayerSize * 0.5;
}

SubdivisionCells subdivisionCells(const BendControls& controls, bool interactive) {
    SubdivisionCells cells;
    cells.columns =
        std::clamp(controls.subdivisionX, kMinSubdivisionX, interactive ? kMaxSubdivisionX / 2 : kMaxSubdivisionX);
    cells.rows =
        std::clamp(controls.subdivisionY, kMinSubdivisionY, interactive ? kMaxSubdivisionY / 2 : kMaxSubdivisionY);
    return cells;
}

SlabGrid buildFreeModeMesh(SceneSurface& surface, const std::vector<BendControlPoint>& points,
                           const MeshPlacement& placement) {
    const BendControls& controls = surface.controls;
    SurfaceMesh& mesh = surface.mesh;
    const PlacedLayer placed = placedLayer(placement);
    const double W = placed.width, H = placed.height, ox = placed.originX, oy = placed.originY;

    const FreeModeLayout layout = freeModeLayout(controls, points.size(), placement.interactive);
    mesh.vertices.clear();
    mesh.triangles.clear();
    if (layout.cellColumns < 1) return SlabGrid{};
    const CurveSampler sampler = curveSamplerFor(controls, points, layout);
    const SlabCentreGrid grid = centreGrid(layout, sampler, controls, W, H, ox, oy);
    // Grid normals, front and back vertices, faces, walls, alpha-contour walls and normals.
    return buildSlabOnGrid(surface, grid, slabHalfThickness(controls.thickness, W, H), false, layout.closedLoop,
                           placement);
}

}  // namespace zephrin
