// Screen-space shadow filtering. The radius field (a fraction of R per pixel, from the blocker hint)
// is seeded on contact edges, carried to the lit side of every shadow edge, smoothed, and then drives
// a separable Gaussian blur of the visibility whose taps are weighted by how well the two pixels lie
// on one receiving plane.
//
// The plane test needs every pixel's camera-space point and face normal. Points come from the depth
// buffer and a per-column and per-row view ray; normals from a per-triangle table. Both are built
// once per frame, so that the many weights of the blur passes cost a few multiplications each.
//
// Shadows cover a small part of most frames, and a lit pixel farther than R rows and R columns from
// every shadow ends with radius 0 and its own visibility. So the passes visit, per row, only the
// span that a shadow within R rows can reach, and settle every other marked pixel in one pass.
#include "renderer/shadows/soft_shadows.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>

#include "renderer/runtime/scratch_arrays.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/texture/clamps.h"

namespace zephrin {
namespace {

// Diffusion below 1 % of the full 200 px range cannot move a shadow edge by a pixel.
constexpr double kMinDiffusionFraction = 0.01;
constexpr double kDiffusionRange = 200.0;
constexpr int32_t kFullRadius = 24;
constexpr int32_t kInteractiveRadiusCap = 10;
constexpr int32_t kQuickPreviewRadiusCap = 4;
// Visibility at or above this counts as lit.
constexpr double kLitVisibility = 0.995;
// Neighbours whose visibility differs by more than this stand on a shadow edge.
constexpr double kEdgeVisibilityStep = 0.01;
// Fields and weights at or below this are absent.
constexpr double kFieldEpsilon = 1e-8;
constexpr double kMinBlurWeightSum = 1e-6;
// Gaussian width of kernel r: 0.42 r, at least one pixel.
constexpr double kKernelSigmaPerRadius = 0.42;
constexpr double kMinKernelSigma = 1.0;
// Plane agreement: normals closer than ~81 degrees start to count, fully from ~53 degrees.
constexpr double kNormalAgreementStart = 0.15;
constexpr double kNormalAgreementSpan = 0.6;
// Depth mismatches are measured in pixel footprints (1.5 pixels at the depth), at least 0.25 px.
constexpr double kFootprintScale = 1.5;
constexpr double kMinFootprint = 0.25;
constexpr double kMinFocal = 1e-6;
constexpr double kMinRayDot = 1e-8;
constexpr uint32_t kFilterRowBlock = 64;
constexpr uint32_t kApplyBlockPixels = 32768;

bool hasPostBuffers(const FrameBuffers& buffers) {
    return keepsShadowPost(buffers) && buffers.color.size() == 4 * buffers.pixelCount();
}

// What the plane weight needs, built once per frame.
struct PlaneContext {
    const FrameBuffers* buffers = nullptr;
    std::vector<double> rayX, rayY;          // view ray of each column and row at depth 1
    std::vector<size_t> surfaceFirstNormal;  // offset of each surface's triangles in `normals`
    std::vector<Vec3> normals;               // camera-space face normal per mesh triangle
    double footprintPerDepth = 0.0;          // pixel size at depth 1
    bool usable = false;                     // the camera can reconstruct points
};

Vec3 faceNormal(const SceneSurface& surface, const SurfaceTriangle& t) {
    const auto count = surface.mesh.vertices.size();
    if (t.a < 0 || t.b < 0 || t.c < 0 || static_cast<size_t>(t.a) >= count || static_cast<size_t>(t.b) >= count ||
        static_cast<size_t>(t.c) >= count) {
        return Vec3{0.0, 0.0, -1.0};
    }
    const Vec3& a = surface.mesh.vertices[static_cast<size_t>(t.a)].cameraPosition;
    const Vec3& b = surface.mesh.vertices[static_cast<size_t>(t.b)].cameraPosition;
    const Vec3& c = surface.mesh.vertices[static_cast<size_t>(t.c)].cameraPosition;
    return normalizeOr(cross(b - a, c - a), Vec3{0.0, 0.0, -1.0});
}

PlaneContext makePlaneContext(const FrameBuffers& buffers, const SceneCamera& camera,
                              const std::vector<SceneSurface>& surfaces, bool withNormals) {
    PlaneContext ctx;
    ctx.buffers = &buffers;
    ctx.usable = camera.focal > kMinFocal;
    if (!ctx.usable) return ctx;
    const double w = buffers.rasterWidth, h = buffers.rasterHeight;
    ctx.rayX.resize(static_cast<size_t>(buffers.rasterWidth));
    ctx.rayY.resize(static_cast<size_t>(buffers.rasterHeight));
    for (size_t x = 0; x < ctx.rayX.size(); ++x) {
        ctx.rayX[x] = ((x + 0.5) * camera.compWidth / w - camera.compWidth / 2.0) / camera.focal;
    }
    for (size_t y = 0; y < ctx.rayY.size(); ++y) {
        ctx.rayY[y] = ((y + 0.5) * camera.compHeight / h - camera.compHeight / 2.0) / camera.focal;
    }
    ctx.footprintPerDepth = kFootprintScale * std::max(camera.compHeight / (camera.focal * std::max(h, 1.0)),
                                                       camera.compWidth / (camera.focal * std::max(w, 1.0)));
    ctx.surfaceFirstNormal.resize(surfaces.size() + 1, 0);
    for (size_t s = 0; s < surfaces.size(); ++s) {
        ctx.surfaceFirstNormal[s + 1] = ctx.surfaceFirstNormal[s] + surfaces[s].mesh.triangles.size();
    }
    if (withNormals) {
        ctx.normals.resize(ctx.surfaceFirstNormal.back());
        for (size_t s = 0; s < surfaces.size(); ++s) {
            const auto& triangles = surfaces[s].mesh.triangles;
            for (size_t t = 0; t < triangles.size(); ++t) {
                ctx.normals[ctx.surfaceFirstNormal[s] + t] = faceNormal(surfaces[s], triangles[t]);
            }
        }
    }
    return ctx;
}

struct PixelPlane {
    Vec3 ray;  // view ray through the pixel centre, z = 1
    Vec3 point;
    Vec3 normal;
};

bool pixelPlane(const PlaneContext& ctx, const std::vector<SceneSurface>* surfaces, size_t pixel, PixelPlane& out) {
    const FrameBuffers& b = *ctx.buffers;
    const double z = b.depth[pixel];
    if (!std::isfinite(z) || z < kNearPlaneZ) return false;
    const int32_t surface = b.surfaceIndex[pixel];
    const int32_t triangle = b.triangleIndex.size() == b.pixelCount() ? b.triangleIndex[pixel] : -1;
    if (surface < 0 || triangle < 0 || static_cast<size_t>(surface) + 1 >= ctx.surfaceFirstNormal.size()) {
        return false;
    }
    const size_t first = ctx.surfaceFirstNormal[static_cast<size_t>(surface)];
    if (first + static_cast<size_t>(triangle) >= ctx.surfaceFirstNormal[static_cast<size_t>(surface) + 1]) {
        return false;
    }
    const size_t width = static_cast<size_t>(b.rasterWidth);
    out.ray = Vec3{ctx.rayX[pixel % width], ctx.rayY[pixel / width], 1.0};
    out.point = out.ray * z;
    if (surfaces != nullptr) {
        const SceneSurface& s = (*surfaces)[static_cast<size_t>(surface)];
        out.normal = faceNormal(s, s.mesh.triangles[static_cast<size_t>(triangle)]);
    } else {
        out.normal = ctx.normals[first + static_cast<size_t>(triangle)];
    }
    return true;
}

// Depth at which `ray` meets the plane through `point` with `normal`; false when it runs parallel
// to the plane or meets it behind the near plane.
bool depthOnPlane(const Vec3& ray, const Vec3& point, const Vec3& normal, double& depth) {
    double denominator = dot(normal, ray);
    if (!(std::fabs(denominator) > kMinRayDot)) return false;
    depth = dot(normal, point) / denominator;
    return std::isfinite(depth) && depth >= kNearPlaneZ;
}

double planeWeight(const PlaneContext& ctx, const PixelPlane& p, const PixelPlane& q) {
    double a =
        std::clamp((std::fabs(dot(p.normal, q.normal)) - kNormalAgreementStart) / kNormalAgreementSpan, 0.0, 1.0);
    double zqOnP = 0.0, zpOnQ = 0.0;
    if (!depthOnPlane(q.ray, p.point, p.normal, zqOnP) || !depthOnPlane(p.ray, q.point, q.normal, zpOnQ)) return 0.0;
    double mismatch = std::max(std::fabs(zpOnQ - p.point.z), std::fabs(zqOnP - q.point.z));
    double footprint = std::max(ctx.footprintPerDepth * (p.point.z + q.point.z) * 0.5, kMinFootprint);
    double ratio = mismatch / footprint;
    return clampUnit(std::exp(-0.5 * ratio * ratio) * a * a * (3.0 - 2.0 * a));
}

// The frame's weight between two pixels, from the tables of the context.
double weightBetween(const PlaneContext& ctx, size_t p, size_t q) {
    const FrameBuffers& b = *ctx.buffers;
    const int32_t sp = b.surfaceIndex[p], sq = b.surfaceIndex[q];
    if (sp < 0 || sq < 0) return 0.0;
    if (sp == sq) return 1.0;
    if (!ctx.usable) return 0.0;
    PixelPlane pp, pq;
    if (!pixelPlane(ctx, nullptr, p, pp) || !pixelPlane(ctx, nullptr, q, pq)) return 0.0;
    return planeWeight(ctx, pp, pq);
}

// Every pass writes only its own rows, so the workers take rows spread over the frame: shadows
// gather where the surfaces are, and contiguous halves would leave one worker with most of them.
template <typename Body>
void forRows(int32_t rows, Body& body) {
    const auto count = static_cast<uint32_t>(std::max(rows, 0));
    const RowSpread spread = rowSpread(count, static_cast<uint32_t>(workerCount(count, kFilterRowBlock)));
    auto rowBody = [&body, &spread, count](uint32_t begin, uint32_t end) {
        for (uint32_t item = begin; item < end; ++item) {
            const uint32_t row = spread.rowOf(item);
            if (row < count) body(static_cast<int32_t>(row));
        }
    };
    parallelFor(spread.items, kFilterRowBlock, rowBody);
}

// Columns first..last of one row; empty when first > last.
struct Span {
    int32_t first = 0, last = -1;
    bool empty() const { return first > last; }
    bool holds(int32_t x) const { return x >= first && x <= last; }
};

Span widened(Span span, int32_t by, int32_t width) {
    if (span.empty()) return span;
    return Span{std::max(span.first - by, 0), std::min(span.last + by, width - 1)};
}

uint64_t bitsOf(double value) { return std::bit_cast<uint64_t>(value); }

bool inShadowAt(const FrameBuffers& b, size_t i) {
    return b.shadowMark[i] != 0 && b.shadowVisibility[i] < kLitVisibility;
}

// Per row, the columns from the first to the last marked pixel in shadow (empty rows hold none). A
// row without shadow is read to its end; one with shadow only up to its first and from its last.
std::vector<Span> shadowSpans(const FrameBuffers& b) {
    const int32_t width = b.rasterWidth;
    std::vector<Span> spans(static_cast<size_t>(b.rasterHeight));
    auto row = [&](int32_t y) {
        const size_t start = static_cast<size_t>(y) * static_cast<size_t>(width);
        int32_t first = 0;
        while (first < width && !inShadowAt(b, start + static_cast<size_t>(first))) ++first;
        if (first == width) return;
        int32_t last = width - 1;
        while (!inShadowAt(b, start + static_cast<size_t>(last))) --last;
        spans[static_cast<size_t>(y)] = Span{first, last};
    };
    forRows(b.rasterHeight, row);
    return spans;
}

struct Filter {
    FrameBuffers& b;
    const PlaneContext& ctx;
    int32_t radius;
    int32_t width, height;
    // Per row: the span of its marked pixels in shadow (nothing outside it seeds or is a source);
    // where its row search may find a source (R columns more on each side); and where a field may
    // be other than 0 after propagation (the search spans of the rows within R). Marked lit pixels
    // outside the last take no radius, so they neither blur nor hand a radius on.
    std::vector<Span> shadows, searched, near;

    // Every row spans the whole frame when `wholeFrame`: the plain walk, which visits every pixel.
    void mapShadows(std::vector<Span> spans, bool wholeFrame) {
        if (wholeFrame) std::fill(spans.begin(), spans.end(), Span{0, width - 1});
        shadows = std::move(spans);
        searched.resize(shadows.size());
        near.assign(shadows.size(), Span{});
        for (size_t y = 0; y < shadows.size(); ++y) searched[y] = widened(shadows[y], radius, width);
        for (int32_t y = 0; y < height; ++y) {
            Span& hull = near[static_cast<size_t>(y)];
            for (int32_t qy = std::max(y - radius, 0); qy <= std::min(y + radius, height - 1); ++qy) {
                const Span& s = searched[static_cast<size_t>(qy)];
                if (s.empty()) continue;
                hull = hull.empty() ? s : Span{std::min(hull.first, s.first), std::max(hull.last, s.last)};
            }
        }
    }

    size_t at(int32_t x, int32_t y) const {
        return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    }
    // Calls body(x) for the columns of a row outside `span`.
    template <typename Body>
    void forOutside(Span span, Body&& body) const {
        const int32_t before = span.empty() ? width : span.first;
        for (int32_t x = 0; x < before; ++x) body(x);
        if (span.empty()) return;
        for (int32_t x = span.last + 1; x < width; ++x) body(x);
    }
    bool marked(size_t i) const { return b.shadowMark[i] != 0; }
    bool inShadow(size_t i) const { return b.shadowVisibility[i] < kLitVisibility; }

    // A pixel's seed reads its own field and its neighbours' visibility alone, never a neighbour's
    // field, so the field is seeded in place.
    void seedRow(int32_t y) {
        const Span span = shadows[static_cast<size_t>(y)];
        for (int32_t x = span.first; x <= span.last; ++x) {
            const size_t p = at(x, y);
            if (!marked(p) || !inShadow(p) || b.radiusField[p] > kFieldEpsilon) continue;
            double best = 0.0;
            const int32_t dx[4] = {-1, 1, 0, 0}, dy[4] = {0, 0, -1, 1};
            for (int k = 0; k < 4; ++k) {
                int32_t nx = x + dx[k], ny = y + dy[k];
                if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                const size_t q = at(nx, ny);
                if (!marked(q) || std::fabs(b.shadowVisibility[q] - b.shadowVisibility[p]) <= kEdgeVisibilityStep) {
                    continue;
                }
                best = std::max(best, weightBetween(ctx, p, q));
            }
            b.radiusField[p] = best;
        }
    }

    // Contact edges are seeded, then each lit pixel takes the radius of the nearest shadow edge:
    // first the nearest along its row, then the nearest of those within R rows. A row's search
    // reads the fields of its own row alone, so each row is seeded and searched in one go.
    void propagateEdges() {
        const size_t n = b.pixelCount();
        // Both are written across each row's search span, the only place the column search reads
        // them; a row value only where its row distance says one was found.
        ScratchArray<double> rowValues(n, kLeftUnfilled);
        ScratchArray<int32_t> rowDistances(n, kLeftUnfilled);
        std::vector<double>& rowValue = rowValues.values;
        std::vector<int32_t>& rowDistance = rowDistances.values;
        auto source = [&](size_t q) { return marked(q) && inShadow(q) && b.radiusField[q] > kFieldEpsilon; };
        auto rows = [&](int32_t y) {
            seedRow(y);
            const Span span = searched[static_cast<size_t>(y)];
            if (span.empty()) return;
            // Nearer than the nearest source on either side there is nothing to take: the search
            // starts there, and pixels with no source within R keep no value, as a full search finds.
            // A row's own array: a few kilobytes against a row's searches, and nothing outlives the call.
            std::vector<int32_t> nextSource(static_cast<size_t>(width));
            int32_t next = std::numeric_limits<int32_t>::max();
            for (int32_t x = span.last; x >= span.first; --x) {
                nextSource[static_cast<size_t>(x)] = next;
                if (source(at(x, y))) next = x;
            }
            int32_t previous = std::numeric_limits<int32_t>::min();
            for (int32_t x = span.first; x <= span.last; ++x) {
                const size_t p = at(x, y);
                rowDistance[p] = -1;
                const bool isSource = source(p);
                const int64_t nearest = std::min(static_cast<int64_t>(x) - previous,
                                                 static_cast<int64_t>(nextSource[static_cast<size_t>(x)]) - x);
                if (isSource) previous = x;
                if (!marked(p)) continue;
                if (isSource) {
                    rowValue[p] = b.radiusField[p];
                    rowDistance[p] = 0;
                    continue;
                }
                if (nearest > radius) continue;
                for (auto d = static_cast<int32_t>(nearest); d <= radius; ++d) {
                    double best = -1.0;
                    for (int32_t qx : {x - d, x + d}) {
                        if (qx < 0 || qx >= width) continue;
                        const size_t q = at(qx, y);
                        if (!source(q)) continue;
                        double w = weightBetween(ctx, p, q);
                        if (w > kFieldEpsilon) best = std::max(best, b.radiusField[q] * w);
                    }
                    if (best >= 0.0) {
                        rowValue[p] = best;
                        rowDistance[p] = d;
                        break;
                    }
                }
            }
        };
        forRows(height, rows);
        auto columns = [&](int32_t y) {
            const Span window = near[static_cast<size_t>(y)];
            // Outside the near span every marked pixel is lit and finds no source: with radius 0 it
            // is not blurred either, and its filtered visibility is written here, while the row is at hand.
            forOutside(window, [&](int32_t x) {
                const size_t p = at(x, y);
                if (!marked(p)) return;
                b.radiusField[p] = 0.0;
                b.filteredVisibility[p] = clampUnit(b.shadowVisibility[p]);
            });
            for (int32_t x = window.first; x <= window.last; ++x) {
                const size_t p = at(x, y);
                if (!marked(p) || inShadow(p)) continue;
                int64_t bestDistance = -1;
                double value = 0.0;
                for (int32_t dy = -radius; dy <= radius; ++dy) {
                    int32_t qy = y + dy;
                    if (qy < 0 || qy >= height || !searched[static_cast<size_t>(qy)].holds(x)) continue;
                    const size_t q = at(x, qy);
                    if (!marked(q) || rowDistance[q] < 0) continue;
                    int64_t distance = static_cast<int64_t>(rowDistance[q]) * rowDistance[q] + dy * dy;
                    if (bestDistance >= 0 && distance >= bestDistance) continue;
                    double w = weightBetween(ctx, p, q);
                    if (w <= kFieldEpsilon) continue;
                    bestDistance = distance;
                    value = w * rowValue[q];
                }
                b.radiusField[p] = value;
            }
        };
        forRows(height, columns);
    }

    // Rows are checked side by side; each reads the row below it but writes nothing. Fields above
    // the epsilon lie in the rows' near spans alone.
    bool fieldNeedsSmoothing() const {
        const double step = 1.0 / radius;
        std::atomic<bool> found{false};
        auto row = [&](int32_t y) {
            if (found.load(std::memory_order_relaxed)) return;
            const Span window = near[static_cast<size_t>(y)];
            for (int32_t x = window.first; x <= window.last; ++x) {
                const size_t p = at(x, y);
                if (!marked(p) || b.radiusField[p] <= kFieldEpsilon) continue;
                for (size_t q : {x + 1 < width ? at(x + 1, y) : p, y + 1 < height ? at(x, y + 1) : p}) {
                    if (q == p || !marked(q) || b.radiusField[q] <= kFieldEpsilon) continue;
                    if (std::fabs(b.radiusField[q] - b.radiusField[p]) > step) {
                        found.store(true, std::memory_order_relaxed);
                        return;
                    }
                }
            }
        };
        forRows(height, row);
        return found.load();
    }

    // One direction of the radius smoothing: from `in` to `out` along rows (dx) or columns (dy).
    void smoothField(const std::vector<double>& in, std::vector<double>& out, const std::vector<double>& kernel,
                     bool alongRows) {
        auto row = [&](int32_t y) {
            for (int32_t x = 0; x < width; ++x) {
                const size_t p = at(x, y);
                out[p] = in[p];
                if (!marked(p) || in[p] <= kFieldEpsilon) continue;
                double sum = 0.0, weights = 0.0;
                for (int32_t i = -radius; i <= radius; ++i) {
                    const size_t q =
                        alongRows ? at(std::clamp(x + i, 0, width - 1), y) : at(x, std::clamp(y + i, 0, height - 1));
                    if (!marked(q) || in[q] <= kFieldEpsilon) continue;
                    const double w = kernel[static_cast<size_t>(i + radius)];
                    sum += w * in[q];
                    weights += w;
                }
                if (weights > kFieldEpsilon) out[p] = clampUnit(sum / weights);
            }
        };
        forRows(height, row);
    }

    // One direction of the visibility blur, from the rows `in` to `out`; the fallback is the pixel's
    // own unfiltered visibility. Outside a row's near span every marked pixel has radius 0 and keeps
    // its value: along rows the whole row then passes the visibility on (the column pass reads a row
    // without near span from the visibility itself); down columns propagation has written it.
    void blur(const std::vector<const double*>& in, std::vector<double>& out,
              const std::vector<std::vector<double>>& kernels, bool alongRows) {
        // Inside a run of marked pixels of one surface that share one value every tap weighs its bare
        // kernel weight (the plane weight within a surface is exactly 1), so the mean depends on the
        // radius and that value alone: it is worked out once per radius and value. Along rows each
        // pixel knows where its run starts (-1 for pixels no run holds), worked out for rows that
        // blur at all; down columns the window is checked pixel by pixel, stopping at the first change.
        auto value = [&](int32_t x, int32_t y) { return in[static_cast<size_t>(y)][x]; };
        auto inRun = [&](size_t q) { return marked(q) && b.surfaceIndex[q] >= 0; };
        auto continuesRun = [&](int32_t px, int32_t py, int32_t qx, int32_t qy) {
            const size_t previous = at(px, py), q = at(qx, qy);
            return inRun(q) && b.surfaceIndex[previous] == b.surfaceIndex[q] &&
                   bitsOf(value(px, py)) == bitsOf(value(qx, qy));
        };
        auto row = [&](int32_t y) {
            const Span window = near[static_cast<size_t>(y)];
            if (alongRows) {
                if (window.empty()) return;
                const double* visibility = in[static_cast<size_t>(y)];
                double* written = out.data() + at(0, y);
                // Unmarked pixels pass theirs on too: no tap reads them.
                std::copy(visibility, visibility + window.first, written);
                std::copy(visibility + window.last + 1, visibility + width, written + window.last + 1);
            }
            // Runs are followed from R before the span: a run reaching further back starts early
            // enough for every window of the span either way.
            const int32_t runsFrom = std::max(window.first - radius, 0);
            const int32_t runsTo = std::min(window.last + radius, width - 1);
            std::vector<int32_t> rowRuns;
            bool rowRunsKnown = false;
            auto uniformWindow = [&](int32_t x, int32_t r) {
                if (!alongRows) {
                    const int32_t first = std::max(y - r, 0), last = std::min(y + r, height - 1);
                    if (!inRun(at(x, first))) return false;
                    for (int32_t qy = first + 1; qy <= last; ++qy) {
                        if (!continuesRun(x, qy - 1, x, qy)) return false;
                    }
                    return true;
                }
                if (!rowRunsKnown) {
                    rowRuns.resize(static_cast<size_t>(width));
                    for (int32_t qx = runsFrom; qx <= runsTo; ++qx) {
                        const size_t q = at(qx, y);
                        const bool continues = qx > runsFrom && inRun(q - 1) && continuesRun(qx - 1, y, qx, y);
                        rowRuns[static_cast<size_t>(qx)] =
                            !inRun(q) ? -1 : (continues ? rowRuns[static_cast<size_t>(qx) - 1] : qx);
                    }
                    rowRunsKnown = true;
                }
                const int32_t runOfLast = rowRuns[static_cast<size_t>(std::min(x + r, width - 1))];
                return runOfLast >= 0 && runOfLast <= std::max(x - r, 0);
            };
            int32_t memoRadius = -1;
            uint64_t memoBits = 0;
            double memoValue = 0.0;
            for (int32_t x = window.first; x <= window.last; ++x) {
                const size_t p = at(x, y);
                if (!marked(p)) continue;
                // No field, no blur: the ceiling below is then 0 (a NaN field clamps to 0 as well).
                const auto r = b.radiusField[p] > 0.0
                                   ? static_cast<int32_t>(std::min(std::ceil(radius * clampUnit(b.radiusField[p])),
                                                                   static_cast<double>(radius)))
                                   : 0;
                const double own = value(x, y);
                if (r < 1) {
                    out[p] = alongRows ? b.shadowVisibility[p] : clampUnit(own);
                    continue;
                }
                if (uniformWindow(x, r)) {
                    if (r != memoRadius || bitsOf(own) != memoBits) {
                        const std::vector<double>& kernel = kernels[static_cast<size_t>(r)];
                        double sum = 0.0, weights = 0.0;
                        for (int32_t i = -r; i <= r; ++i) {
                            const double w = kernel[static_cast<size_t>(i + r)];
                            sum += w * own;
                            weights += w;
                        }
                        // The pixel's own tap weighs 1: the divisor is never below 1.
                        memoValue = sum / weights;
                        memoRadius = r;
                        memoBits = bitsOf(own);
                    }
                    out[p] = alongRows ? memoValue : clampUnit(memoValue);
                    continue;
                }
                const std::vector<double>& kernel = kernels[static_cast<size_t>(r)];
                double sum = 0.0, weights = 0.0;
                for (int32_t i = -r; i <= r; ++i) {
                    const int32_t qx = alongRows ? std::clamp(x + i, 0, width - 1) : x;
                    const int32_t qy = alongRows ? y : std::clamp(y + i, 0, height - 1);
                    const size_t q = at(qx, qy);
                    if (!marked(q)) continue;
                    const double w = weightBetween(ctx, p, q) * kernel[static_cast<size_t>(i + r)];
                    sum += w * value(qx, qy);
                    weights += w;
                }
                double blurred = weights > kMinBlurWeightSum ? sum / weights : b.shadowVisibility[p];
                out[p] = alongRows ? blurred : clampUnit(blurred);
            }
        };
        forRows(height, row);
    }
};

}  // namespace

int32_t shadowBlurRadius(const std::vector<SceneLight>& lights, const RenderSettings& settings) {
    double x = 0.0;
    for (const SceneLight& light : lights) {
        if (!light.castsShadows) continue;
        x = std::max(x, clampUnit(std::max(light.shadowDiffusion, 0.0) / kDiffusionRange));
    }
    if (x <= kMinDiffusionFraction) return 0;
    int32_t cap =
        settings.quickPreview ? kQuickPreviewRadiusCap : (settings.interactive ? kInteractiveRadiusCap : kFullRadius);
    return std::clamp(static_cast<int32_t>(std::ceil(kFullRadius * x)), 1, cap);
}

std::vector<std::vector<double>> shadowKernels(int32_t radius) {
    std::vector<std::vector<double>> kernels(static_cast<size_t>(std::max(radius, 0)) + 1);
    kernels[0] = {1.0};
    for (int32_t r = 1; r <= radius; ++r) {
        const double sigma = std::max(kKernelSigmaPerRadius * r, kMinKernelSigma);
        std::vector<double>& k = kernels[static_cast<size_t>(r)];
        k.resize(static_cast<size_t>(2 * r + 1));
        for (int32_t i = -r; i <= r; ++i) {
            const double t = i / sigma;
            k[static_cast<size_t>(i + r)] = std::exp(-0.5 * t * t);
        }
    }
    return kernels;
}

double crossReceiverWeight(const FrameBuffers& buffers, const SceneCamera& camera,
                           const std::vector<SceneSurface>& surfaces, size_t p, size_t q) {
    const size_t n = buffers.pixelCount();
    if (p >= n || q >= n || buffers.surfaceIndex.size() != n || buffers.depth.size() != n) return 0.0;
    const int32_t sp = buffers.surfaceIndex[p], sq = buffers.surfaceIndex[q];
    if (sp < 0 || sq < 0) return 0.0;
    if (sp == sq) return 1.0;
    const PlaneContext ctx = makePlaneContext(buffers, camera, surfaces, false);
    if (!ctx.usable) return 0.0;
    PixelPlane pp, pq;
    if (!pixelPlane(ctx, &surfaces, p, pp) || !pixelPlane(ctx, &surfaces, q, pq)) return 0.0;
    return planeWeight(ctx, pp, pq);
}

void filterShadows(FrameBuffers& buffers, const SceneCamera& camera, const std::vector<SceneSurface>& surfaces,
                   const std::vector<SceneLight>& lights, const RenderSettings& settings, ShadowFilterWalk walk) {
    const int32_t radius = shadowBlurRadius(lights, settings);
    const size_t n = buffers.pixelCount();
    // Nothing to soften without post buffers or with hard shadows.
    if (!hasPostBuffers(buffers) || radius < 1 || buffers.depth.size() != n || buffers.surfaceIndex.size() != n) {
        return;
    }
    std::vector<Span> shadows = shadowSpans(buffers);
    // Nor with no pixel in shadow.
    if (std::all_of(shadows.begin(), shadows.end(), [](const Span& s) { return s.empty(); })) return;
    const PlaneContext ctx = makePlaneContext(buffers, camera, surfaces, true);
    Filter filter{buffers, ctx, radius, buffers.rasterWidth, buffers.rasterHeight, {}, {}, {}};
    filter.mapShadows(std::move(shadows), walk == ShadowFilterWalk::WholeFrame);

    filter.propagateEdges();
    const std::vector<std::vector<double>> kernels = shadowKernels(radius);
    if (filter.fieldNeedsSmoothing()) {
        // Smoothing writes every pixel.
        ScratchArray<double> rowsSmoothed(n, kLeftUnfilled);
        filter.smoothField(buffers.radiusField, rowsSmoothed.values, kernels.back(), true);
        filter.smoothField(rowsSmoothed.values, buffers.radiusField, kernels.back(), false);
    }

    // The row blur writes every marked pixel of the rows with a near span, and the column blur reads
    // marked pixels alone, the other rows' from the visibility.
    ScratchArray<double> rowBlurred(n, kLeftUnfilled);
    std::vector<const double*> visibilityRows(static_cast<size_t>(filter.height));
    std::vector<const double*> blurredRows(visibilityRows.size());
    for (size_t y = 0; y < visibilityRows.size(); ++y) {
        const size_t start = y * static_cast<size_t>(filter.width);
        visibilityRows[y] = buffers.shadowVisibility.data() + start;
        blurredRows[y] = filter.near[y].empty() ? visibilityRows[y] : rowBlurred.values.data() + start;
    }
    filter.blur(visibilityRows, rowBlurred.values, kernels, true);
    filter.blur(blurredRows, buffers.filteredVisibility, kernels, false);
}

void recomposeShadows(FrameBuffers& buffers) {
    if (!hasPostBuffers(buffers)) return;
    auto body = [&buffers](uint32_t begin, uint32_t end) {
        for (uint32_t i = begin; i < end; ++i) {
            if (buffers.shadowMark[i] == 0) continue;
            double change = clampUnit(buffers.filteredVisibility[i]) - clampUnit(buffers.shadowVisibility[i]);
            for (size_t c = 0; c < 3; ++c) {
                double& channel = buffers.color[4 * static_cast<size_t>(i) + c];
                channel = clampUnit(channel + buffers.slope[3 * static_cast<size_t>(i) + c] * change);
            }
        }
    };
    parallelFor(static_cast<uint32_t>(buffers.pixelCount()), kApplyBlockPixels, body);
}

}  // namespace zephrin
