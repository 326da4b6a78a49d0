#include "renderer/geometry/path_mesh.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "renderer/geometry/curve_sampler.h"
#include "renderer/geometry/free_mode_mesh.h"
#include "renderer/geometry/slab_mesh.h"
#include "renderer/texture/clamps.h"

namespace zephrin {

namespace {

constexpr double kDegreesToRadians = std::numbers::pi / 180.0;

// The up reference made perpendicular to the tangent, or nothing when the two are parallel.
bool perpendicularSide(const Vec3& tangent, const Vec3& reference, Vec3& side) {
    const Vec3 s = reference - tangent * dot(tangent, reference);
    const double len = length(s);
    if (!(len > kMinSideLength)) return false;
    side = s * (1.0 / len);
    return true;
}

// Rodrigues' rotation of s about the unit axis t.
Vec3 rotateAbout(const Vec3& s, const Vec3& t, double angle) {
    const double c = std::cos(angle), sn = std::sin(angle);
    return s * c + cross(t, s) * sn + t * (dot(t, s) * (1.0 - c));
}

}  // namespace

PathLayout layoutOnPath(const BendControls& controls, double width, double height, double pathLength) {
    PathLayout layout;
    const double W = std::isfinite(width) ? std::max(width, 1.0) : 1.0;
    const double H = std::isfinite(height) ? std::max(height, 1.0) : 1.0;
    const double L = std::isfinite(pathLength) ? std::max(pathLength, 0.0) : 0.0;
    const double sc = std::clamp(finiteOr(controls.layerScale, 100.0), kMinPathLayerScale, kMaxPathLayerScale) * 0.01;
    const double Lw = std::max(sc * W, 1.0);
    layout.pathLength = L;
    layout.sheetHeight = std::max(sc * H, 1.0);
    layout.usedLength = controls.fitPathLength ? std::max(L, 1.0) : std::max(std::min(std::max(L, 1.0), Lw), 1.0);

    const double m = std::clamp(finiteOr(controls.motion, 100.0) / 100.0, 0.0, kMaxPathMotion);
    layout.mainMotion = std::min(m, 1.0);
    layout.extraMotion = std::max(m - 1.0, 0.0);
    layout.tiles = controls.closeEndpoints ? 0 : std::clamp(controls.tileCount, 0, kMaxTiles);
    layout.span = (2.0 * layout.tiles + 1.0) * layout.usedLength;
    layout.covered =
        layout.tiles == 0
            ? L * layout.mainMotion / layout.usedLength
            : std::clamp((layout.span * layout.extraMotion + L * layout.mainMotion) / layout.span, 0.0, 1.0);
    // A path longer than the layer covers the whole layer, not more.
    layout.covered = std::clamp(layout.covered, 0.0, 1.0);
    layout.direction = controls.motionDirection == 2 ? 2 : 1;
    return layout;
}

double pathArcPosition(const PathLayout& l, double q) {
    const double L = l.pathLength;
    const double qt = q - (1.0 - l.covered);
    if (l.direction == 2) {
        return l.tiles == 0 ? L * (1.0 - l.mainMotion) + q * l.usedLength - l.extraMotion * l.usedLength
                            : L * (1.0 - l.mainMotion) + qt * l.span - l.extraMotion * l.span;
    }
    return l.tiles == 0 ? L * l.mainMotion - (1.0 - q) * l.usedLength + l.extraMotion * l.usedLength
                        : L * l.mainMotion - (l.covered - qt) * l.span + l.extraMotion * l.span;
}

int32_t pathColumnTile(const PathLayout& l, double q) {
    if (l.tiles == 0) return 0;
    // The span holds tiles -tiles..tiles side by side, each one used length long.
    const double along = (q - (1.0 - l.covered)) * l.span / l.usedLength;
    const double tile = std::floor(std::isfinite(along) ? along : 0.0) - l.tiles;
    return static_cast<int32_t>(std::clamp(tile, -static_cast<double>(l.tiles), static_cast<double>(l.tiles)));
}

bool buildPathMesh(SceneSurface& surface, const PathSamples& samples, const MeshPlacement& placement) {
    const BendControls& controls = surface.controls;
    surface.mesh.vertices.clear();
    surface.mesh.triangles.clear();
    const PlacedLayer placed = placedLayer(placement);
    const double W = placed.width, H = placed.height, ox = placed.originX, oy = placed.originY;
    const PathLayout layout = layoutOnPath(controls, W, H, samples.length);

    const SubdivisionCells cells = subdivisionCells(controls, placement.interactive);
    const int32_t cols = cells.columns, rows = cells.rows;
    const std::vector<double> columns = partialRange(cols, layout.covered, layout.direction == 2);
    // A single column has no cell: the layer has not entered the path yet.
    if (columns.size() < 2 || layout.covered <= kMinCoveredFraction) return false;

    const double bend = finiteOr(controls.pathBendDirection, 0.0) * kDegreesToRadians;
    SlabCentreGrid grid;
    grid.columns = static_cast<int32_t>(columns.size());
    grid.rows = rows + 1;
    grid.points.resize(static_cast<size_t>(grid.columns) * grid.rows);
    grid.u = columns;
    std::optional<Vec3> previousSide;
    for (int32_t j = 0; j < grid.columns; ++j) {
        const double q = columns[static_cast<size_t>(j)];
        const double s = pathArcPosition(layout, q);
        const Vec3 centre = pathPointAt(samples, s) + Vec3{ox, oy, 0.0};
        const Vec3 tangent = pathTangentAt(samples, s);
        Vec3 side;
        if (!perpendicularSide(tangent, kPathUpReference, side)) {
            if (previousSide) {
                side = *previousSide;
            } else if (!perpendicularSide(tangent, Vec3{0.0, 0.0, 1.0}, side) &&
                       !perpendicularSide(tangent, Vec3{1.0, 0.0, 0.0}, side)) {
                side = Vec3{0.0, 1.0, 0.0};
            }
        }
        // Keeping the side on the previous column's half stops the sheet flipping over.
        if (previousSide && dot(side, *previousSide) < 0.0) side = -side;
        previousSide = side;

        Vec3 turned = normalizeOr(rotateAbout(side, tangent, bend), side);
        const int32_t tile = pathColumnTile(layout, q);
        if (controls.tileMirror && (tile % 2) != 0) turned = -turned;
        for (int32_t i = 0; i < grid.rows; ++i) {
            const double across = (static_cast<double>(i) / rows - 0.5) * layout.sheetHeight;
            grid.points[static_cast<size_t>(i) * grid.columns + j] = centre + turned * across;
        }
    }
    buildSlabOnGrid(surface, grid, slabHalfThickness(controls.thickness, W, H), false, false, placement);
    return !surface.mesh.triangles.empty();
}

}  // namespace zephrin
