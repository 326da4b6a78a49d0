// Path Select on a path layer keyframed as designers key one: the host hands the renderer a smooth
// curve through the keys, so the slab's edges run on without folding back at the keys, where a path of
// straight segments leaves fans of triangles.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/host_suites.h"
#include "host/scene_file.h"
#include "host_fixture.h"
#include "renderer/collect/path_layer.h"
#include "renderer/geometry/path_mesh.h"

namespace zephrin {
namespace {

namespace fs = std::filesystem;
using Host = testhost::TestHost;

// The ribbon example's guide layer, its layer position in the composition.
constexpr size_t kGuideLayer = 3;
constexpr int32_t kRibbonWidth = 480, kRibbonHeight = 120;
constexpr int32_t kColumns = 160;

host::Composition ribbonComposition() {
    return host::loadSceneFile(fs::path(ZEPHRIN_SOURCE_DIR) / "examples" / "path_ribbon.json");
}

// The guide's path sampled through the host as the renderer samples it, with the ribbon laid over all
// of it. The front face's first and last rows are where the side walls run.
SurfaceMesh ribbonAlongGuide(const host::Composition& comp) {
    Host host;
    PR_RenderContextH rc = host.beginFrame(comp);
    HostSuites suites(host.basic());
    const PathSampling sampled =
        samplePathLayer(suites, rc, host.frame(rc).time, host.layer(rc, kGuideLayer), pathSampleCount(kColumns));
    EXPECT_EQ(sampled.failure, PathFailure::kNone);
    SceneSurface surface;
    surface.controls.mode = 2;
    surface.controls.subdivisionX = kColumns;
    surface.controls.subdivisionY = 2;
    surface.controls.thickness = 0.0;
    surface.controls.motion = 100.0;
    surface.controls.motionDirection = 1;
    surface.controls.fitPathLength = true;
    MeshPlacement placement;
    placement.width = kRibbonWidth;
    placement.height = kRibbonHeight;
    EXPECT_TRUE(buildPathMesh(surface, sampled.samples, placement));
    host.endFrame(rc);
    return surface.mesh;
}

// Columns where an edge of the sheet runs backwards against the path's own direction: the edge folds
// over itself there, and the side wall along it becomes a fan of overlapping triangles.
int foldedEdgeColumns(const SurfaceMesh& mesh) {
    const size_t rows = 3, columns = mesh.vertices.size() / 2 / rows;
    int folded = 0;
    for (size_t j = 0; j + 1 < columns; ++j) {
        const Vec3 along = mesh.vertices[columns + j + 1].objectPosition - mesh.vertices[columns + j].objectPosition;
        for (size_t row : {size_t{0}, rows - 1}) {
            const Vec3 edge =
                mesh.vertices[row * columns + j + 1].objectPosition - mesh.vertices[row * columns + j].objectPosition;
            if (dot(edge, along) <= 0.0) ++folded;
        }
    }
    return folded;
}

TEST(PathThroughKeyframes, AutoBezierPathLeavesTheSideWallsFreeOfFans) {
    const host::Composition smooth = ribbonComposition();
    for (const auto& key : smooth.layers[kGuideLayer].transform.position.keyframes) {
        ASSERT_EQ(key.shape.spatial, host::SpatialInterpolation::Auto) << "the example keys its path the short way";
    }
    EXPECT_EQ(foldedEdgeColumns(ribbonAlongGuide(smooth)), 0);

    // The same keys with straight segments between them: the inner edge folds back at every corner.
    host::Composition cornered = ribbonComposition();
    for (auto& key : cornered.layers[kGuideLayer].transform.position.keyframes) {
        key.shape.spatial = host::SpatialInterpolation::Linear;
    }
    EXPECT_GE(foldedEdgeColumns(ribbonAlongGuide(cornered)), 3) << "three inner corners";
}

}  // namespace
}  // namespace zephrin
