#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "render_log_capture.h"
#include "obj_test_files.h"
#include "renderer/geometry/obj/obj_cache.h"
#include "renderer/geometry/obj/obj_mesh.h"
#include "renderer/collect/obj_source.h"

namespace zephrin {
namespace {

using test::LogCapture;

constexpr double kTolerance = 1e-9;

// A quad (two fan triangles) spanning 2 x 1 model units, with texcoords and one normal.
const std::string kQuad =
    "v -1 0 0\nv 1 0 0\nv 1 1 0\nv -1 1 0\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "vn 0 1 0\n"
    "f 1/1/1 2/2/1 3/3/1 4/4/1\n";

// A grid of n x n unit cells, two triangles each.
std::string gridObj(int n) {
    std::ostringstream out;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) out << "v " << j << " " << i << " 0\n";
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int a = i * (n + 1) + j + 1;
            out << "f " << a << " " << a + 1 << " " << a + n + 2 << "\n";
            out << "f " << a << " " << a + n + 2 << " " << a + n + 1 << "\n";
        }
    }
    return out.str();
}

struct ObjMeshTest : ::testing::Test {
    void SetUp() override { clearObjCache(); }
    void TearDown() override { clearObjCache(); }

    bool build(const std::wstring& path, SurfaceMesh& mesh, bool interactive = false) {
        return buildObjMesh(path, controls, mesh, LayerTransform{}, LayerTransform{}, interactive);
    }

    objtest::ScratchFolder scratch;
    BendControls controls = defaultBendControls(1);
};

TEST_F(ObjMeshTest, FanFromTheFirstCornerScaledCentredAndTurnedYDown) {
    controls.objSmoothNormals = false;
    SurfaceMesh mesh;
    ASSERT_TRUE(build(scratch.write("quad.obj", kQuad), mesh));
    ASSERT_EQ(mesh.vertices.size(), 4u);
    ASSERT_EQ(mesh.triangles.size(), 2u);
    EXPECT_EQ(mesh.triangles[0].a, 0);
    EXPECT_EQ(mesh.triangles[0].b, 1);
    EXPECT_EQ(mesh.triangles[0].c, 2);
    EXPECT_EQ(mesh.triangles[1].a, 0);
    EXPECT_EQ(mesh.triangles[1].b, 2);
    EXPECT_EQ(mesh.triangles[1].c, 3);
    EXPECT_EQ(mesh.triangles[1].faceCode, kFaceObj);
    EXPECT_EQ(mesh.triangles[1].fineCoverage, 0);
    // Largest size 2 units becomes 500 pixels; the centre (0, 0.5, 0) goes to the origin.
    EXPECT_NEAR(mesh.vertices[0].objectPosition.x, -250.0, kTolerance);
    EXPECT_NEAR(mesh.vertices[0].objectPosition.y, 125.0, kTolerance);
    EXPECT_NEAR(mesh.vertices[2].objectPosition.y, -125.0, kTolerance);
    // v flipped by default; the file's normal (0, 1, 0) turned y-down.
    EXPECT_DOUBLE_EQ(mesh.vertices[2].v, 0.0);
    EXPECT_DOUBLE_EQ(mesh.vertices[0].v, 1.0);
    EXPECT_NEAR(mesh.vertices[1].cameraNormal.y, -1.0, kTolerance);
    EXPECT_NEAR(mesh.vertices[1].worldNormal.y, -1.0, kTolerance);
}

TEST_F(ObjMeshTest, ScaleCentreAndFlipFollowTheControls) {
    controls.objScale = 50.0;
    controls.objCenter = false;
    controls.objFlipV = false;
    SurfaceMesh mesh;
    ASSERT_TRUE(build(scratch.write("quad.obj", kQuad), mesh));
    EXPECT_NEAR(mesh.vertices[2].objectPosition.x, 125.0, kTolerance);
    EXPECT_NEAR(mesh.vertices[2].objectPosition.y, -125.0, kTolerance);
    EXPECT_DOUBLE_EQ(mesh.vertices[2].v, 1.0);
}

TEST_F(ObjMeshTest, NormalsComeFromTheFileOnlyWhenItHasThemAndSmoothingIsOff) {
    // The file's normal points along y, the geometry's along z: which one a vertex carries tells
    // where it came from.
    controls.objSmoothNormals = false;
    SurfaceMesh fromFile;
    ASSERT_TRUE(build(scratch.write("quad.obj", kQuad), fromFile));
    EXPECT_NEAR(std::abs(fromFile.vertices[0].cameraNormal.y), 1.0, kTolerance);

    controls.objSmoothNormals = true;
    SurfaceMesh smoothed;
    ASSERT_TRUE(build(scratch.write("quad.obj", kQuad), smoothed));
    EXPECT_NEAR(std::abs(smoothed.vertices[0].cameraNormal.z), 1.0, kTolerance);

    controls.objSmoothNormals = false;
    SurfaceMesh computed;
    ASSERT_TRUE(build(scratch.write("bare.obj", "v -1 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n"), computed));
    EXPECT_NEAR(std::abs(computed.vertices[0].cameraNormal.z), 1.0, kTolerance);
}

TEST_F(ObjMeshTest, MissingTexcoordsSampleTheImageCentre) {
    SurfaceMesh mesh;
    ASSERT_TRUE(build(scratch.write("t.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.2 0.2\nf 1/1 2/7 3\n"), mesh));
    EXPECT_DOUBLE_EQ(mesh.vertices[0].u, 0.2);
    EXPECT_DOUBLE_EQ(mesh.vertices[1].u, 0.5);
    EXPECT_DOUBLE_EQ(mesh.vertices[2].v, 0.5);
}

TEST_F(ObjMeshTest, TriangleBudgetsStopEmissionEvenInsideAFace) {
    const std::wstring grid = scratch.write("grid.obj", gridObj(230));  // 105 800 triangles
    SurfaceMesh final;
    ASSERT_TRUE(build(grid, final));
    EXPECT_EQ(final.triangles.size(), static_cast<size_t>(kObjTriangleBudget));
    SurfaceMesh interactive;
    ASSERT_TRUE(build(grid, interactive, true));
    ASSERT_EQ(interactive.triangles.size(), static_cast<size_t>(kObjTriangleBudgetInteractive));
    // The first 12 000 in file order.
    EXPECT_EQ(interactive.triangles.back().a, 3 * (kObjTriangleBudgetInteractive - 1));

    // A 12-gon fans into 10 triangles; a budget that ends inside it keeps its first ones.
    std::string fans;
    for (int i = 0; i < 12; ++i) fans += "v " + std::to_string(i) + " " + std::to_string(i * i % 7) + " 0\n";
    std::string face = "f 1 2 3 4 5 6 7 8 9 10 11 12\n";
    for (int k = 0; k < kObjTriangleBudgetInteractive / 10 + 1; ++k) fans += face;
    SurfaceMesh cut;
    ASSERT_TRUE(build(scratch.write("fans.obj", fans), cut, true));
    EXPECT_EQ(cut.triangles.size(), static_cast<size_t>(kObjTriangleBudgetInteractive));
}

TEST_F(ObjMeshTest, UnloadableFilesLeaveTheMeshUntouched) {
    SurfaceMesh mesh;
    EXPECT_FALSE(build(scratch.write("empty.obj", ""), mesh));
    EXPECT_FALSE(build(scratch.write("noface.obj", "v 0 0 0\n"), mesh));
    EXPECT_FALSE(build(L"/nonexistent/zephrin/model.obj", mesh));
    // Positions near the double range, left uncentred, would place vertices at infinity.
    controls.objCenter = false;
    EXPECT_FALSE(build(scratch.write("huge.obj",
                                     "v 1e308 1e308 1e308\nv 1e308 1e308 1e308\nv 1e308 1e308 "
                                     "1e308\nf 1 2 3\n"),
                       mesh));
    EXPECT_TRUE(mesh.vertices.empty());
    EXPECT_TRUE(mesh.triangles.empty());
}

TEST_F(ObjMeshTest, LoadedLineIsExact) {
    LogCapture log;
    const std::wstring path = scratch.write("quad.obj", kQuad);
    SurfaceMesh first, second;
    ASSERT_TRUE(build(path, first));
    ASSERT_TRUE(build(path, second, true));
    const auto lines = log.renderLines("RendererV2Obj:");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "RendererV2Obj: loaded verts=4 tris=2 budget=60000 cache=miss cacheSize=1 cacheMax=8 sourceVerts=4 "
              "sourceFaces=1");
    EXPECT_EQ(lines[1],
              "RendererV2Obj: loaded verts=4 tris=2 budget=12000 cache=hit cacheSize=1 cacheMax=8 sourceVerts=4 "
              "sourceFaces=1");
}

struct ObjCacheTest : ObjMeshTest {};

TEST_F(ObjCacheTest, HitSharesTheGeometryUntilTheFileIsTouched) {
    const std::wstring path = scratch.write("quad.obj", kQuad);
    bool hit = true;
    auto first = loadObjCached(path, hit);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(hit);
    auto second = loadObjCached(path, hit);
    EXPECT_TRUE(hit);
    EXPECT_EQ(second, first);

    // Same size, new modification time.
    const auto file = filesystemPathFromWide(path);
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
    auto third = loadObjCached(path, hit);
    EXPECT_FALSE(hit);
    ASSERT_NE(third, nullptr);
    EXPECT_NE(third, first);

    // Same time, new size.
    const auto time = std::filesystem::last_write_time(file);
    scratch.write("quad.obj", kQuad + "# grown\n");
    std::filesystem::last_write_time(file, time);
    loadObjCached(path, hit);
    EXPECT_FALSE(hit);
    EXPECT_EQ(objCacheSize(), 1u);
}

TEST_F(ObjCacheTest, NinthFileEvictsTheLeastRecentlyUsed) {
    std::vector<std::wstring> paths;
    bool hit = false;
    for (int i = 0; i < 9; ++i) paths.push_back(scratch.write("m" + std::to_string(i) + ".obj", kQuad));
    for (int i = 0; i < 8; ++i) ASSERT_NE(loadObjCached(paths[static_cast<size_t>(i)], hit), nullptr);
    loadObjCached(paths[0], hit);  // m1 is now the oldest
    EXPECT_TRUE(hit);
    loadObjCached(paths[8], hit);
    EXPECT_EQ(objCacheSize(), kObjCacheCapacity);
    loadObjCached(paths[0], hit);
    EXPECT_TRUE(hit);
    loadObjCached(paths[2], hit);
    EXPECT_TRUE(hit);
    loadObjCached(paths[1], hit);
    EXPECT_FALSE(hit);
}

TEST_F(ObjCacheTest, AFileThatVanishesOrBreaksLeavesTheCache) {
    const std::wstring path = scratch.write("quad.obj", kQuad);
    bool hit = false;
    auto held = loadObjCached(path, hit);
    ASSERT_NE(held, nullptr);
    std::filesystem::remove(filesystemPathFromWide(path));
    EXPECT_EQ(loadObjCached(path, hit), nullptr);
    EXPECT_EQ(held->faces.size(), 1u);  // users keep what they were given

    scratch.write("quad.obj", kQuad);
    ASSERT_NE(loadObjCached(path, hit), nullptr);
    scratch.write("quad.obj", "garbage that is no model at all\n");
    EXPECT_EQ(loadObjCached(path, hit), nullptr);
    EXPECT_EQ(objCacheSize(), 0u);
}

// Sets environment variables for one test and clears them after.
struct EnvGuard {
    ~EnvGuard() {
        for (const char* name : {"SSR_RENDER_DEBUG", "SSR_RENDER_DEBUG_OBJ_PATH", "SSR_RENDER_DEBUG_OBJ_LAYER"})
            ::unsetenv(name);
    }
    void set(const char* name, const char* value) { ::setenv(name, value, 1); }
};

TEST(ObjDebugOverride, NeedsDebugOnAndAnObjPathAndMatchesLayerNamesBySubstring) {
    EnvGuard env;
    env.set("SSR_RENDER_DEBUG_OBJ_PATH", "/models/Teapot.OBJ");
    EXPECT_EQ(debugObjOverridePath(L"Paper"), L"");
    env.set("SSR_RENDER_DEBUG", "0");
    EXPECT_EQ(debugObjOverridePath(L"Paper"), L"");
    env.set("SSR_RENDER_DEBUG", "");
    EXPECT_EQ(debugObjOverridePath(L"Paper"), L"");
    env.set("SSR_RENDER_DEBUG", "off");  // only "0" turns it off
    EXPECT_EQ(debugObjOverridePath(L"Paper"), L"/models/Teapot.OBJ");

    env.set("SSR_RENDER_DEBUG_OBJ_LAYER", "Pap");
    EXPECT_EQ(debugObjOverridePath(L"Paper 2"), L"/models/Teapot.OBJ");
    EXPECT_EQ(debugObjOverridePath(L"paper"), L"");  // case-sensitive
    env.set("SSR_RENDER_DEBUG_OBJ_LAYER", "Pap\xc3\xa9");
    EXPECT_EQ(debugObjOverridePath(L"Papé"), L"/models/Teapot.OBJ");

    env.set("SSR_RENDER_DEBUG_OBJ_PATH", "/models/teapot.png");
    EXPECT_FALSE(debugObjOverrideConfigured());
    EXPECT_EQ(debugObjOverridePath(L"Papé"), L"");
}

TEST(ObjSourceLog, SourceAndOverrideLinesAreExact) {
    LogCapture log;
    logObjSource(ObjSource{});
    logObjSource(ObjSource{L"a.png", "currentLayer", false});
    logObjSource(ObjSource{L"a.OBJ", "effectSourceLayer", true});
    logObjSource(ObjSource{L"a.obj", "debug", true});
    const auto lines = log.renderLines("RendererV2Obj:");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "RendererV2Obj: source=currentLayer isObj=0");
    EXPECT_EQ(lines[1], "RendererV2Obj: source=effectSourceLayer isObj=1");
    EXPECT_EQ(lines[2], "RendererV2Obj: debugPath override active");
    EXPECT_EQ(lines[3], "RendererV2Obj: source=debug isObj=1");
}

}  // namespace
}  // namespace zephrin
