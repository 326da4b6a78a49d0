#include "effect/editor/editor_input.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zephrin {
namespace {

// Moves smaller than this are pointer jitter, not a pan.
constexpr double kMinPanStep = 0.5;

EditorBox recordedFrame(const TopViewEditor& editor) {
    const EditorRect& r = editor.frameRect;
    return EditorBox{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::optional<double> parseSpeed(const std::u16string& text) {
    std::string narrow;
    for (char16_t c : text) narrow.push_back(static_cast<char>(c));
    double value = 0;
    const char* begin = narrow.data();
    const char* end = begin + narrow.size();
    const auto [stop, err] = std::from_chars(begin, end, value);
    if (err != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
    return std::clamp(value, -kLoopSpeedLimit, kLoopSpeedLimit);
}

}  // namespace

bool wheelNotch(TopViewEditor& editor, double x, double y, bool forward) {
    const EditorLayout layout = layoutTopView(recordedFrame(editor));
    return zoomAt(editor, layout, x, y, forward ? kWheelZoomStep : 1.0 / kWheelZoomStep);
}

void beginMiddlePan(TopViewEditor& editor, POINT screen) {
    editor.panning = true;
    editor.panLastScreenPoint = screen;
}

bool middlePanMove(TopViewEditor& editor, POINT screen, bool middleDown) {
    if (!editor.panning) return false;
    if (!middleDown) {
        endMiddlePan(editor);
        return false;
    }
    const double dx = double(screen.x) - double(editor.panLastScreenPoint.x);
    const double dy = double(screen.y) - double(editor.panLastScreenPoint.y);
    editor.panLastScreenPoint = screen;
    if (std::abs(dx) >= kMinPanStep || std::abs(dy) >= kMinPanStep) setPan(editor, editor.panX + dx, editor.panY + dy);
    return true;
}

void endMiddlePan(TopViewEditor& editor) { editor.panning = false; }

std::u16string formatSpeed(double speed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::isfinite(speed) ? speed : 0.0);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

void openInlineEdit(TopViewEditor& editor, double speed) {
    editor.inlineEditActive = true;
    editor.inlineReplaceOnType = true;
    editor.inlineText = formatSpeed(speed);
}

void closeInlineEdit(TopViewEditor& editor) {
    editor.inlineEditActive = false;
    editor.inlineReplaceOnType = false;
    editor.inlineText.clear();
}

InlineKeyResult inlineKey(TopViewEditor& editor, InlineKey key, char16_t character) {
    InlineKeyResult result;
    if (!editor.inlineEditActive) return result;
    result.handled = true;
    switch (key) {
        case InlineKey::Backspace:
            if (!editor.inlineText.empty()) editor.inlineText.pop_back();
            editor.inlineReplaceOnType = false;
            break;
        case InlineKey::Commit:
            result.commit = parseSpeed(editor.inlineText);
            closeInlineEdit(editor);
            break;
        case InlineKey::Character: {
            const bool digit = character >= u'0' && character <= u'9';
            if (!digit && character != u'.' && character != u'-') break;
            if (editor.inlineReplaceOnType) {
                editor.inlineText.clear();
                editor.inlineReplaceOnType = false;
            }
            if (!digit && editor.inlineText.find(character) != std::u16string::npos) break;
            editor.inlineText.push_back(character);
            break;
        }
    }
    return result;
}

}  // namespace zephrin
