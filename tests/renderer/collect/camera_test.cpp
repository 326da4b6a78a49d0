#include "renderer/collect/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "common/host_suites.h"
#include "host_fixture.h"
#include "render_log_capture.h"

namespace zephrin {
namespace {

using Host = testhost::TestHost;
using test::LogCapture;

// A 1920 x 1080 composition, rendered at a thirtieth of its size into a 64 x 36 destination.
host::Composition fullHd() {
    host::Composition comp;
    comp.width = 1920;
    comp.height = 1080;
    return comp;
}

host::FrameRequest smallDestination() {
    host::FrameRequest request;
    request.downsampleX = request.downsampleY = 30;
    return request;
}

constexpr double kMatrixTolerance = 1e-9;

TEST(MatrixInvert, RandomInvertibleMatricesGiveTheIdentityBack) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> value(-10.0, 10.0);
    int checked = 0;
    for (int trial = 0; trial < 1000; ++trial) {
        Matrix4 m;
        for (auto& row : m.m)
            for (double& v : row) v = value(rng);
        Matrix4 product = multiply(m, invert(m));
        double scale = 0.0;
        for (auto& row : m.m)
            for (double v : row) scale = std::max(scale, std::fabs(v));
        Matrix4 inverse = invert(m);
        double inverseScale = 0.0;
        for (auto& row : inverse.m)
            for (double v : row) inverseScale = std::max(inverseScale, std::fabs(v));
        // Near-singular draws amplify rounding; the slack follows the condition estimate.
        const double slack = kMatrixTolerance * std::max(1.0, scale * inverseScale);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                ASSERT_NEAR(product.m[i][j], i == j ? 1.0 : 0.0, slack) << "trial " << trial << " at " << i << "," << j;
        ++checked;
    }
    EXPECT_EQ(checked, 1000);
}

TEST(MatrixInvert, SingularMatrixGivesItsAdjugateUndivided) {
    // Row 3 is twice row 1: determinant exactly 0.
    Matrix4 m;
    m.m = {{{1, 2, 3, 4}, {0, 1, 4, 2}, {2, 4, 6, 8}, {5, 6, 0, 1}}};
    Matrix4 adjugate = invert(m);
    // M * adj(M) = det(M) * I = 0 for a singular matrix, and the adjugate of a rank-3 matrix is not 0.
    Matrix4 product = multiply(m, adjugate);
    double largest = 0.0;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_NEAR(product.m[i][j], 0.0, 1e-9);
            largest = std::max(largest, std::fabs(adjugate.m[i][j]));
        }
    }
    EXPECT_GT(largest, 1.0);

    // A scale matrix diag(2, 3, 0, 1): the adjugate is diag(0, 0, 6, 0).
    Matrix4 flat = identityMatrix();
    flat.m[0][0] = 2.0;
    flat.m[1][1] = 3.0;
    flat.m[2][2] = 0.0;
    Matrix4 flatAdjugate = invert(flat);
    EXPECT_DOUBLE_EQ(flatAdjugate.m[2][2], 6.0);
    EXPECT_DOUBLE_EQ(flatAdjugate.m[0][0], 0.0);
    EXPECT_DOUBLE_EQ(flatAdjugate.m[3][3], 0.0);
}

CameraLensReading lensReading(double dof, double focus, double aperture, double blur) {
    CameraLensReading lens;
    for (bool& r : lens.read) r = true;
    lens.depthOfField = dof;
    lens.focusDistance = focus;
    lens.aperture = aperture;
    lens.blurLevel = blur;
    return lens;
}

TEST(CameraLens, DepthOfFieldNeedsEveryValueReadFiniteAndPositive) {
    SceneCamera camera;
    applyCameraLens(camera, lensReading(0.5, 2000, 25, 100));
    EXPECT_TRUE(camera.dofEnabled);

    applyCameraLens(camera, lensReading(0.4, 2000, 25, 100));
    EXPECT_FALSE(camera.dofEnabled) << "a switch below one half is off";

    SceneCamera closed;
    applyCameraLens(closed, lensReading(1.0, 1500, 0.0, 80));
    EXPECT_FALSE(closed.dofEnabled);
    EXPECT_EQ(closed.focusDistance, 1500);
    EXPECT_EQ(closed.blurLevel, 80);
    EXPECT_EQ(closed.aperture, 0.0);

    SceneCamera infinite;
    applyCameraLens(infinite, lensReading(1.0, INFINITY, 25, 100));
    EXPECT_FALSE(infinite.dofEnabled);

    CameraLensReading partial = lensReading(1.0, 2000, 25, 100);
    partial.read[3] = false;
    SceneCamera unread;
    applyCameraLens(unread, partial);
    EXPECT_FALSE(unread.dofEnabled);
    EXPECT_EQ(unread.focusDistance, 2000);
    EXPECT_EQ(unread.blurLevel, 0.0);
}

TEST(CameraZoom, ZoomBelowOnePixelGivesFocalOne) {
    EXPECT_EQ(focalFromZoom(0.5), 1.0);
    EXPECT_EQ(focalFromZoom(-40.0), 1.0);
    EXPECT_EQ(focalFromZoom(2000.0), 2000.0);
}

TEST(CollectCamera, WithoutCameraLayerTheDefaultShowsThePlaneAtOneToOne) {
    LogCapture logs;
    Host host;
    const host::Composition comp = fullHd();
    PR_RenderContextH rc = host.beginFrame(comp, smallDestination());
    FrameScene scene;
    PR_InData inData = host.inData();
    ASSERT_TRUE(collectCamera(&inData, rc, host.destination(rc), scene));

    const SceneCamera& camera = scene.camera;
    EXPECT_NEAR(camera.focal, 1976.93, 0.01);
    EXPECT_DOUBLE_EQ(camera.focal, 1080.0 / std::tan(0.5));
    EXPECT_EQ(camera.compWidth, 1920);
    EXPECT_EQ(camera.compHeight, 1080);
    EXPECT_EQ(camera.destWidth, 64);
    EXPECT_EQ(camera.destHeight, 36);
    EXPECT_FALSE(camera.dofEnabled);

    Vec3 eye = transformPoint(camera.view, Vec3{960.0, 540.0, -camera.focal});
    EXPECT_NEAR(eye.x, 0.0, 1e-9);
    EXPECT_NEAR(eye.y, 0.0, 1e-9);
    EXPECT_NEAR(eye.z, 0.0, 1e-9);
    // A point of the composition plane projects where it lies in the composition.
    ProjectedPoint p;
    SceneCamera full = camera;
    full.destWidth = 1920;
    full.destHeight = 1080;
    ASSERT_TRUE(projectToDestination(full, transformPoint(camera.view, Vec3{100.0, 900.0, 0.0}), p));
    EXPECT_NEAR(p.x, 100.0, 1e-9);
    EXPECT_NEAR(p.y, 900.0, 1e-9);

    std::vector<std::string> expected = {"RendererV2Camera: active=0 dof=0"};
    EXPECT_EQ(logs.renderLines("RendererV2Camera:"), expected);
    EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);
}

TEST(CollectCamera, CameraLayerGivesViewZoomAndLens) {
    LogCapture logs;
    Host host;
    host::Composition comp = fullHd();
    host::Layer& cameraLayer = testhost::addLayer(comp, testhost::makeLayer(3, host::LayerType::Camera));
    cameraLayer.transform.position.value = {960.0, 540.0, -2000.0};
    cameraLayer.camera.zoom.value = 0.5;
    cameraLayer.camera.depthOfField.value = 1.0;
    cameraLayer.camera.focusDistance.value = 2000.0;
    cameraLayer.camera.aperture.value = 0.0;
    cameraLayer.camera.blurLevel.value = 100.0;
    PR_RenderContextH rc = host.beginFrame(comp, smallDestination());
    FrameScene scene;
    PR_InData inData = host.inData();
    ASSERT_TRUE(collectCamera(&inData, rc, host.destination(rc), scene));

    EXPECT_EQ(scene.camera.focal, 1.0);
    EXPECT_FALSE(scene.camera.dofEnabled);
    EXPECT_EQ(scene.camera.focusDistance, 2000.0);
    EXPECT_EQ(scene.camera.blurLevel, 100.0);
    Vec3 origin = transformPoint(scene.camera.view, Vec3{960.0, 540.0, -2000.0});
    EXPECT_NEAR(length(origin), 0.0, 1e-9);
    std::vector<std::string> expected = {"RendererV2Camera: active=1 focal=1 dof=0 focus=2000 aperture=0 blur=100"};
    EXPECT_EQ(logs.renderLines("RendererV2Camera:"), expected);

    // Without a readable zoom the focal is the shorter composition side.
    host.failLayerStream(3, AEGP_LayerStream_ZOOM);
    cameraLayer.camera.aperture.value = 25.0;
    ASSERT_TRUE(collectCamera(&inData, rc, host.destination(rc), scene));
    EXPECT_EQ(scene.camera.focal, 1080.0);
    EXPECT_TRUE(scene.camera.dofEnabled);
    EXPECT_EQ(scene.camera.aperture, 25.0);

    // A camera whose transform cannot be read is replaced by the default camera.
    host.replaceSuite<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11).AEGP_GetLayerToWorldXform =
        [](AEGP_LayerH, const A_Time*, A_Matrix4*) -> A_Err { return A_Err_PARAMETER; };
    ASSERT_TRUE(collectCamera(&inData, rc, host.destination(rc), scene));
    EXPECT_NEAR(scene.camera.focal, 1976.93, 0.01);
    EXPECT_FALSE(scene.camera.dofEnabled);
    EXPECT_EQ(scene.camera.focusDistance, 0.0);
    EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);
}

TEST(CollectCamera, FailsWhenTheCompositionOrItsSizesCannotBeRead) {
    for (int failing = 0; failing < 5; ++failing) {
        Host host;
        auto& canvas = host.replaceSuite<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
        switch (failing) {
            case 0:
                canvas.AEGP_GetCompToRender = [](PR_RenderContextH, AEGP_CompH*) -> A_Err { return A_Err_PARAMETER; };
                break;
            case 1:
                host.replaceSuite<AEGP_CompSuite9>(kAEGPCompSuite, kAEGPCompSuiteVersion9).AEGP_GetItemFromComp =
                    [](AEGP_CompH, AEGP_ItemH*) -> A_Err { return A_Err_PARAMETER; };
                break;
            case 2:
                host.replaceSuite<AEGP_ItemSuite10>(kAEGPItemSuite, kAEGPItemSuiteVersion10).AEGP_GetItemDimensions =
                    [](AEGP_ItemH, A_long*, A_long*) -> A_Err { return A_Err_PARAMETER; };
                break;
            case 3:
                host.replaceSuite<AEGP_WorldSuite2>(kAEGPWorldSuite, kAEGPWorldSuiteVersion2).AEGP_GetSize =
                    [](AEGP_WorldH, A_long*, A_long*) -> A_Err { return A_Err_PARAMETER; };
                break;
            default:
                canvas.AEGP_GetCompRenderTime = [](PR_RenderContextH, A_Time*, A_Time*) -> A_Err {
                    return A_Err_PARAMETER;
                };
                break;
        }
        const host::Composition comp = fullHd();
        PR_RenderContextH rc = host.beginFrame(comp, smallDestination());
        FrameScene scene;
        scene.camera.dofEnabled = true;
        scene.camera.aperture = 9.0;
        PR_InData inData = host.inData();
        EXPECT_FALSE(collectCamera(&inData, rc, host.destination(rc), scene)) << failing;
        EXPECT_FALSE(scene.camera.dofEnabled);
        EXPECT_EQ(scene.camera.aperture, 0.0);
    }
    Host host;
    host.withhold(kAEGPCameraSuite);
    const host::Composition comp = fullHd();
    PR_RenderContextH rc = host.beginFrame(comp, smallDestination());
    FrameScene scene;
    PR_InData inData = host.inData();
    EXPECT_THROW(collectCamera(&inData, rc, host.destination(rc), scene), HostSuiteError);
}

TEST(ShadowQualityCap, InteractiveForcesOneOtherwiseOneToFour) {
    FrameScene scene;
    scene.surfaces.resize(4);
    const int32_t qualities[] = {0, -3, 3, 7};
    for (size_t i = 0; i < 4; ++i) scene.surfaces[i].controls.shadowQuality = qualities[i];
    applyShadowQualityCap(scene);
    EXPECT_EQ(scene.surfaces[0].controls.shadowQuality, 1);
    EXPECT_EQ(scene.surfaces[1].controls.shadowQuality, 1);
    EXPECT_EQ(scene.surfaces[2].controls.shadowQuality, 3);
    EXPECT_EQ(scene.surfaces[3].controls.shadowQuality, 4);

    scene.settings.interactive = true;
    scene.surfaces[2].controls.shadowQuality = 3;
    applyShadowQualityCap(scene);
    for (const SceneSurface& surface : scene.surfaces) EXPECT_EQ(surface.controls.shadowQuality, 1);
}

}  // namespace
}  // namespace zephrin
