// The stand-in host's drawing surface for custom controls: an RGBA image that Cairo draws into, behind the
// host's DRAWBOT suites (host/custom_ui/drawbot_suites.h). The suites hand the effect opaque references;
// this record is what they stand for, and what the host reads back afterwards (the pixels, the strings
// drawn, and whether every object the effect made was released and every pushed state popped).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/DrawbotSuite.h"

namespace zephrin::host {

struct DrawbotOptions {
    bool supportsText = true;
    float defaultFontSize = 11.0f;  // what GetDefaultFontSize answers
    // Fault injection for the failure paths of a drawing: the suite call with this number (counting every
    // call on the canvas's references from 1) fails with kDrawbotCallFailed; 0: none does.
    int64_t failCallNumber = 0;
    DRAWBOT_ColorRGBA background{0, 0, 0, 0};
};

// What a failed drawing call answers (the host's generic error).
inline constexpr SPErr kDrawbotCallFailed = 1;

// Straight-colour 8-bit RGBA, rows top first.
struct DrawnImage {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

// One DrawString as the surface saw it, for tests that look for a label.
struct DrawnString {
    std::string utf8;
    float x = 0, y = 0;
};

struct DrawbotCanvas;

struct DrawbotCanvasDeleter {
    void operator()(DrawbotCanvas* canvas) const noexcept;
};
using DrawbotCanvasPtr = std::unique_ptr<DrawbotCanvas, DrawbotCanvasDeleter>;

// A canvas of the given size, painted with the background, registered so that its references resolve.
// Throws std::runtime_error when Cairo cannot make the image.
DrawbotCanvasPtr makeDrawbotCanvas(int32_t width, int32_t height, const DrawbotOptions& options = {});

// The references a draw event hands out for this canvas.
DRAWBOT_DrawRef drawRefOf(const DrawbotCanvas& canvas);

// Finishes pending drawing and returns the pixels.
DrawnImage canvasImage(DrawbotCanvas& canvas);

struct DrawbotAccounting {
    int64_t calls = 0;            // every suite call on this canvas's references, failed ones included
    int64_t failedCalls = 0;
    int64_t objectsMade = 0;      // pens, brushes, fonts, paths, images
    int64_t objectsReleased = 0;  // released to a zero count
    int64_t liveObjects = 0;
    int32_t stackDepth = 0;       // pushes not yet popped
    int64_t unbalancedPops = 0;   // pops without a push
};
DrawbotAccounting canvasAccounting(const DrawbotCanvas& canvas);
std::vector<DrawnString> drawnStrings(const DrawbotCanvas& canvas);

// The font family fontconfig picks for Simplified Chinese sans-serif text, so that Chinese labels show;
// every label uses it, Latin ones too (the font carries both). "sans-serif" when fontconfig finds none.
std::string labelFontFamily();

}  // namespace zephrin::host
