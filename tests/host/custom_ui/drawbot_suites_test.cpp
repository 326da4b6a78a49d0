// The DRAWBOT suites on Cairo, driven through the tables the host offers: what each call draws, what a
// surface without text refuses, the object and state-stack accounting the effect's tests rely on, and
// hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "host/basic_suite.h"
#include "host/custom_ui/drawbot_canvas.h"
#include "sdk/DrawbotSuite.h"

namespace zephrin::host {
namespace {

constexpr DRAWBOT_ColorRGBA kRed{1, 0, 0, 1};
constexpr DRAWBOT_ColorRGBA kWhite{1, 1, 1, 1};

struct Suites {
    const DRAWBOT_DrawbotSuite1& draw = *static_cast<const DRAWBOT_DrawbotSuite1*>(
        findSuiteTable(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1));
    const DRAWBOT_SupplierSuite1& supplier = *static_cast<const DRAWBOT_SupplierSuite1*>(
        findSuiteTable(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1));
    const DRAWBOT_SurfaceSuite1& surface = *static_cast<const DRAWBOT_SurfaceSuite1*>(
        findSuiteTable(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1));
    const DRAWBOT_PathSuite1& path = *static_cast<const DRAWBOT_PathSuite1*>(
        findSuiteTable(kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1));
};

struct Drawing {
    explicit Drawing(int32_t w = 40, int32_t h = 30, DrawbotOptions options = {})
        : canvas(makeDrawbotCanvas(w, h, options)) {
        // Checked by the tests through the references: a failed call leaves one null.
        suites.draw.GetSupplier(drawRefOf(*canvas), &supplier);
        suites.draw.GetSurface(drawRefOf(*canvas), &surface);
    }
    const uint8_t* pixel(const DrawnImage& image, int x, int y) const {
        return image.rgba.data() + (static_cast<size_t>(y) * static_cast<size_t>(image.width) + x) * 4;
    }
    Suites suites;
    DrawbotCanvasPtr canvas;
    DRAWBOT_SupplierRef supplier = nullptr;
    DRAWBOT_SurfaceRef surface = nullptr;
};

bool isRed(const uint8_t* p) { return p[0] == 255 && p[1] == 0 && p[2] == 0 && p[3] == 255; }
bool isClear(const uint8_t* p) { return p[3] == 0; }

TEST(DrawbotSuites, PaintFillAndStrokeLandWhereAsked) {
    Drawing d;
    const DRAWBOT_RectF32 rect{2, 2, 10, 6};
    ASSERT_EQ(d.suites.surface.PaintRect(d.surface, &kRed, &rect), kSPNoError);

    DRAWBOT_BrushRef brush = nullptr;
    DRAWBOT_PenRef pen = nullptr;
    DRAWBOT_PathRef path = nullptr;
    ASSERT_EQ(d.suites.supplier.NewBrush(d.supplier, &kWhite, &brush), kSPNoError);
    ASSERT_EQ(d.suites.supplier.NewPen(d.supplier, &kRed, 2.0f, &pen), kSPNoError);
    ASSERT_EQ(d.suites.supplier.NewPath(d.supplier, &path), kSPNoError);
    const DRAWBOT_RectF32 square{20, 2, 8, 8};
    ASSERT_EQ(d.suites.path.AddRect(path, &square), kSPNoError);
    ASSERT_EQ(d.suites.surface.FillPath(d.surface, brush, path, kDRAWBOT_FillType_Default), kSPNoError);
    DRAWBOT_PathRef line = nullptr;
    ASSERT_EQ(d.suites.supplier.NewPath(d.supplier, &line), kSPNoError);
    ASSERT_EQ(d.suites.path.MoveTo(line, 0, 20), kSPNoError);
    ASSERT_EQ(d.suites.path.LineTo(line, 40, 20), kSPNoError);
    ASSERT_EQ(d.suites.surface.StrokePath(d.surface, pen, line), kSPNoError);
    for (DRAWBOT_ObjectRef object : {brush, pen, path, line}) ASSERT_EQ(d.suites.supplier.ReleaseObject(object), kSPNoError);

    const DrawnImage image = canvasImage(*d.canvas);
    EXPECT_TRUE(isRed(d.pixel(image, 6, 5)));
    EXPECT_TRUE(isClear(d.pixel(image, 13, 5)));
    const uint8_t* filled = d.pixel(image, 24, 5);
    EXPECT_EQ(filled[0], 255);
    EXPECT_EQ(filled[1], 255);
    EXPECT_EQ(filled[3], 255);
    // A 2-pixel pen centred on y = 20 covers rows 19 and 20 exactly.
    EXPECT_TRUE(isRed(d.pixel(image, 10, 19)));
    EXPECT_TRUE(isRed(d.pixel(image, 10, 20)));
    EXPECT_TRUE(isClear(d.pixel(image, 10, 22)));
}

TEST(DrawbotSuites, ClipHoldsUntilTheStateIsPopped) {
    Drawing d;
    const DRAWBOT_RectF32 all{0, 0, 40, 30};
    const DRAWBOT_Rect32 left{0, 0, 10, 30};
    ASSERT_EQ(d.suites.surface.PushStateStack(d.surface), kSPNoError);
    ASSERT_EQ(d.suites.surface.Clip(d.surface, d.supplier, &left), kSPNoError);
    DRAWBOT_Rect32 bounds{};
    ASSERT_EQ(d.suites.surface.GetClipBounds(d.surface, &bounds), kSPNoError);
    EXPECT_EQ(bounds.width, 10);
    ASSERT_EQ(d.suites.surface.PaintRect(d.surface, &kRed, &all), kSPNoError);
    DrawnImage clipped = canvasImage(*d.canvas);
    EXPECT_TRUE(isRed(d.pixel(clipped, 5, 15)));
    EXPECT_TRUE(isClear(d.pixel(clipped, 20, 15)));

    ASSERT_EQ(d.suites.surface.PopStateStack(d.surface), kSPNoError);
    ASSERT_EQ(d.suites.surface.PaintRect(d.surface, &kRed, &all), kSPNoError);
    EXPECT_TRUE(isRed(d.pixel(canvasImage(*d.canvas), 20, 15)));
    EXPECT_EQ(canvasAccounting(*d.canvas).stackDepth, 0);

    // A pop without a push is refused and counted, so a drawing that pops twice is caught.
    EXPECT_NE(d.suites.surface.PopStateStack(d.surface), kSPNoError);
    EXPECT_EQ(canvasAccounting(*d.canvas).unbalancedPops, 1);
}

TEST(DrawbotSuites, ChineseLabelsDrawWithACjkFont) {
    // The setup installs a CJK font; fontconfig must find it for Simplified Chinese.
    EXPECT_NE(labelFontFamily().find("WenQuanYi"), std::string::npos) << labelFontFamily();
    Drawing d(80, 30);
    DRAWBOT_Boolean supportsText = 0;
    float size = 0;
    ASSERT_EQ(d.suites.supplier.SupportsText(d.supplier, &supportsText), kSPNoError);
    ASSERT_EQ(d.suites.supplier.GetDefaultFontSize(d.supplier, &size), kSPNoError);
    EXPECT_EQ(supportsText, 1);
    EXPECT_FLOAT_EQ(size, 11.0f);
    DRAWBOT_FontRef font = nullptr;
    DRAWBOT_BrushRef brush = nullptr;
    ASSERT_EQ(d.suites.supplier.NewDefaultFont(d.supplier, 12.0f, &font), kSPNoError);
    ASSERT_EQ(d.suites.supplier.NewBrush(d.supplier, &kWhite, &brush), kSPNoError);
    const DRAWBOT_UTF16Char topView[] = {0x9876, 0x89C6, 0x56FE, 0};  // 顶视图
    const DRAWBOT_PointF32 origin{4, 20};
    ASSERT_EQ(d.suites.surface.DrawString(d.surface, brush, font, topView, &origin, kDRAWBOT_TextAlignment_Left,
                                          kDRAWBOT_TextTruncation_None, 0),
              kSPNoError);
    d.suites.supplier.ReleaseObject(font);
    d.suites.supplier.ReleaseObject(brush);

    const DrawnImage image = canvasImage(*d.canvas);
    int inked = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) inked += d.pixel(image, x, y)[3] > 128 ? 1 : 0;
    // Three 12-pixel ideographs leave well over a hundred solid pixels; a missing glyph box far fewer.
    EXPECT_GT(inked, 100);
    ASSERT_EQ(drawnStrings(*d.canvas).size(), 1u);
    EXPECT_EQ(drawnStrings(*d.canvas)[0].utf8, "\xE9\xA1\xB6\xE8\xA7\x86\xE5\x9B\xBE");
}

TEST(DrawbotSuites, SurfaceWithoutTextRefusesFontsButDrawsShapes) {
    DrawbotOptions options;
    options.supportsText = false;
    Drawing d(40, 30, options);
    DRAWBOT_Boolean supportsText = 1;
    ASSERT_EQ(d.suites.supplier.SupportsText(d.supplier, &supportsText), kSPNoError);
    EXPECT_EQ(supportsText, 0);
    DRAWBOT_FontRef font = nullptr;
    EXPECT_NE(d.suites.supplier.NewDefaultFont(d.supplier, 11.0f, &font), kSPNoError);
    EXPECT_EQ(font, nullptr);
    const DRAWBOT_RectF32 rect{0, 0, 5, 5};
    EXPECT_EQ(d.suites.surface.PaintRect(d.surface, &kRed, &rect), kSPNoError);
    EXPECT_TRUE(isRed(d.pixel(canvasImage(*d.canvas), 2, 2)));
    EXPECT_EQ(canvasAccounting(*d.canvas).liveObjects, 0);
}

TEST(DrawbotSuites, ObjectsLiveUntilTheirLastRelease) {
    Drawing d;
    DRAWBOT_PenRef pen = nullptr;
    DRAWBOT_BrushRef brush = nullptr;
    DRAWBOT_PathRef path = nullptr;
    ASSERT_EQ(d.suites.supplier.NewPen(d.supplier, &kRed, 1.0f, &pen), kSPNoError);
    ASSERT_EQ(d.suites.supplier.NewBrush(d.supplier, &kRed, &brush), kSPNoError);
    ASSERT_EQ(d.suites.supplier.NewPath(d.supplier, &path), kSPNoError);
    ASSERT_EQ(d.suites.path.MoveTo(path, 1, 1), kSPNoError);
    ASSERT_EQ(d.suites.path.LineTo(path, 9, 9), kSPNoError);
    // An object of the wrong kind is refused where another is expected, and draws nothing.
    EXPECT_NE(d.suites.surface.StrokePath(d.surface, brush, path), kSPNoError);
    EXPECT_NE(d.suites.surface.FillPath(d.surface, pen, path, kDRAWBOT_FillType_Default), kSPNoError);
    EXPECT_NE(d.suites.path.LineTo(pen, 3, 3), kSPNoError);

    ASSERT_EQ(d.suites.supplier.RetainObject(pen), kSPNoError);
    ASSERT_EQ(d.suites.supplier.ReleaseObject(pen), kSPNoError);
    EXPECT_EQ(canvasAccounting(*d.canvas).liveObjects, 3);
    ASSERT_EQ(d.suites.supplier.ReleaseObject(pen), kSPNoError);
    ASSERT_EQ(d.suites.supplier.ReleaseObject(brush), kSPNoError);
    ASSERT_EQ(d.suites.supplier.ReleaseObject(path), kSPNoError);
    const DrawbotAccounting accounting = canvasAccounting(*d.canvas);
    EXPECT_EQ(accounting.objectsMade, 3);
    EXPECT_EQ(accounting.objectsReleased, 3);
    EXPECT_EQ(accounting.liveObjects, 0);
    // A released object is gone: releasing or drawing with it again is refused.
    EXPECT_NE(d.suites.supplier.ReleaseObject(pen), kSPNoError);
    EXPECT_NE(d.suites.surface.StrokePath(d.surface, pen, path), kSPNoError);
}

TEST(DrawbotSuites, InjectedFailureFailsThatCallOnly) {
    DrawbotOptions options;
    options.failCallNumber = 2;
    Drawing d(40, 30, options);  // call 1: GetSupplier; call 2, GetSurface, fails
    EXPECT_EQ(d.surface, nullptr);
    ASSERT_EQ(d.suites.draw.GetSurface(drawRefOf(*d.canvas), &d.surface), kSPNoError);
    const DRAWBOT_RectF32 rect{0, 0, 5, 5};
    EXPECT_EQ(d.suites.surface.PaintRect(d.surface, &kRed, &rect), kSPNoError);
    EXPECT_EQ(canvasAccounting(*d.canvas).failedCalls, 1);
}

TEST(DrawbotSuites, HostileInputIsRefusedWithoutDrawing) {
    Drawing d;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const DRAWBOT_RectF32 bad{nan, 0, 5, 5};
    EXPECT_NE(d.suites.surface.PaintRect(d.surface, &kRed, &bad), kSPNoError);
    EXPECT_NE(d.suites.surface.PaintRect(d.surface, nullptr, nullptr), kSPNoError);
    DRAWBOT_PathRef path = nullptr;
    ASSERT_EQ(d.suites.supplier.NewPath(d.supplier, &path), kSPNoError);
    EXPECT_NE(d.suites.path.MoveTo(path, nan, 1), kSPNoError);
    EXPECT_NE(d.suites.path.BezierTo(path, nullptr, nullptr, nullptr), kSPNoError);
    DRAWBOT_PenRef pen = nullptr;
    EXPECT_NE(d.suites.supplier.NewPen(d.supplier, &kRed, -1.0f, &pen), kSPNoError);
    EXPECT_NE(d.suites.supplier.NewPen(d.supplier, &kRed, 1.0f, nullptr), kSPNoError);
    // References the host never handed out, and a surface reference where a supplier belongs.
    EXPECT_NE(d.suites.supplier.ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(0x1234)), kSPNoError);
    EXPECT_NE(d.suites.supplier.NewPath(reinterpret_cast<DRAWBOT_SupplierRef>(d.surface), &path), kSPNoError);
    d.suites.supplier.ReleaseObject(path);
    const DrawnImage image = canvasImage(*d.canvas);
    for (size_t i = 3; i < image.rgba.size(); i += 4) ASSERT_EQ(image.rgba[i], 0);
    EXPECT_EQ(canvasAccounting(*d.canvas).liveObjects, 0);
}

}  // namespace
}  // namespace zephrin::host
