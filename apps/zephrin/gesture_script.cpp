#include "apps/zephrin/gesture_script.h"

#include <fstream>
#include <sstream>

#include "host/scene_file_json.h"
#include "host/win32/win32_control.h"

namespace zephrin::app {
namespace {

using host::scenejson::Json;
using host::scenejson::Reader;
namespace scenejson = host::scenejson;

// Coordinates beyond this are certainly a mistake (the largest control is 1400 x 900).
constexpr int32_t kMaxCoordinate = 100000;
constexpr int32_t kMaxNotches = 100;
constexpr int32_t kMaxMenuItem = 1000;

struct NamedKey {
    const char* name;
    int virtualKey;
    PF_ControlCode code;
};
constexpr NamedKey kKeys[] = {
    {"Enter", VK_RETURN, PF_ControlCode_Return},      {"Backspace", VK_BACK, PF_ControlCode_Backspace},
    {"Escape", VK_ESCAPE, PF_ControlCode_Escape},     {"Delete", VK_DELETE, PF_ControlCode_Delete},
    {"Tab", VK_TAB, PF_ControlCode_Tab},
};

PF_Point readPoint(const Reader& r, const Json& j, const std::string& path) {
    if (!j.is_array() || j.size() != 2) r.fail(path, "expected [x, y]");
    return PF_Point{r.wholeNumber(j[0], scenejson::elementPath(path, 0), -kMaxCoordinate, kMaxCoordinate),
                    r.wholeNumber(j[1], scenejson::elementPath(path, 1), -kMaxCoordinate, kMaxCoordinate)};
}

std::u16string utf16Of(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + static_cast<size_t>(k) < utf8.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]) & 0x3F);
        }
        i += static_cast<size_t>(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

Gesture readGesture(const Reader& r, const Json& j, const std::string& path) {
    if (!j.is_object()) r.fail(path, "expected a gesture object");
    Gesture g;
    g.path = path;
    const std::string kind = r.string(r.require(j, path, "do"), scenejson::memberPath(path, "do"));
    if (kind == "click") {
        g.kind = GestureKind::Click;
        r.expectKeys(j, path, {"do", "control", "at", "button", "modifiers", "clicks", "menu"});
    } else if (kind == "drag") {
        g.kind = GestureKind::Drag;
        r.expectKeys(j, path, {"do", "control", "path", "button", "modifiers"});
    } else if (kind == "wheel") {
        g.kind = GestureKind::Wheel;
        r.expectKeys(j, path, {"do", "control", "at", "notches"});
    } else if (kind == "pan") {
        g.kind = GestureKind::Pan;
        r.expectKeys(j, path, {"do", "control", "path"});
    } else if (kind == "key") {
        g.kind = GestureKind::Key;
        r.expectKeys(j, path, {"do", "key"});
    } else if (kind == "type") {
        g.kind = GestureKind::Type;
        r.expectKeys(j, path, {"do", "text"});
    } else if (kind == "hover") {
        g.kind = GestureKind::Hover;
        r.expectKeys(j, path, {"do", "control", "at"});
    } else {
        r.fail(scenejson::memberPath(path, "do"),
               "\"" + kind + "\" is not a gesture (click, drag, wheel, pan, key, type, hover)");
    }
    const bool onControl = g.kind != GestureKind::Key && g.kind != GestureKind::Type;
    if (onControl) {
        const Json& control = r.require(j, path, "control");
        const std::string controlPath = scenejson::memberPath(path, "control");
        g.control = control.is_number() ? std::to_string(r.wholeNumber(control, controlPath, 1, 1000))
                                        : r.string(control, controlPath);
    }
    if (j.contains("at")) g.points.push_back(readPoint(r, j["at"], scenejson::memberPath(path, "at")));
    if (j.contains("path")) {
        const std::string pointsPath = scenejson::memberPath(path, "path");
        if (!j["path"].is_array() || j["path"].empty()) r.fail(pointsPath, "expected a list of [x, y] points");
        for (size_t i = 0; i < j["path"].size(); ++i) {
            g.points.push_back(readPoint(r, j["path"][i], scenejson::elementPath(pointsPath, i)));
        }
    }
    if (onControl && g.points.empty()) r.fail(path, g.kind == GestureKind::Drag || g.kind == GestureKind::Pan
                                                        ? "needs \"path\""
                                                        : "needs \"at\"");
    if (j.contains("button")) {
        const std::string buttonPath = scenejson::memberPath(path, "button");
        const std::string button = r.string(j["button"], buttonPath);
        if (button == "left") {
            g.button = host::MouseButton::Left;
        } else if (button == "right") {
            g.button = host::MouseButton::Right;
        } else {
            r.fail(buttonPath, "expected \"left\" or \"right\" (the middle button is the \"pan\" gesture)");
        }
    }
    if (j.contains("modifiers")) {
        const std::string modsPath = scenejson::memberPath(path, "modifiers");
        if (!j["modifiers"].is_array()) r.fail(modsPath, "expected a list such as [\"ctrl\", \"shift\"]");
        for (size_t i = 0; i < j["modifiers"].size(); ++i) {
            const std::string itemPath = scenejson::elementPath(modsPath, i);
            const std::string mod = r.string(j["modifiers"][i], itemPath);
            if (mod == "ctrl") {
                g.modifiers |= PF_Mod_CMD_CTRL_KEY;
            } else if (mod == "alt") {
                g.modifiers |= PF_Mod_OPT_ALT_KEY;
            } else if (mod == "shift") {
                g.modifiers |= PF_Mod_SHIFT_KEY;
            } else {
                r.fail(itemPath, "\"" + mod + "\" is not a modifier (ctrl, alt, shift)");
            }
        }
    }
    if (j.contains("clicks")) g.clicks = r.wholeNumber(j["clicks"], scenejson::memberPath(path, "clicks"), 1, 3);
    if (j.contains("menu")) {
        const std::string menuPath = scenejson::memberPath(path, "menu");
        if (j["menu"].is_string() && j["menu"].get<std::string>() == "cancel") {
            g.menuCancel = true;
        } else if (j["menu"].is_number()) {
            g.menuChoice = r.wholeNumber(j["menu"], menuPath, 1, kMaxMenuItem);
        } else {
            r.fail(menuPath, "expected the menu item's number (1 is the first) or \"cancel\"");
        }
    }
    if (g.kind == GestureKind::Wheel) {
        g.notches = r.wholeNumber(r.require(j, path, "notches"), scenejson::memberPath(path, "notches"), -kMaxNotches,
                                  kMaxNotches);
    }
    if (g.kind == GestureKind::Key) {
        const std::string keyPath = scenejson::memberPath(path, "key");
        g.key = r.string(r.require(j, path, "key"), keyPath);
        bool known = false;
        for (const NamedKey& key : kKeys) known = known || g.key == key.name;
        if (!known) r.fail(keyPath, "\"" + g.key + "\" is not a key (Enter, Backspace, Escape, Delete, Tab)");
    }
    if (g.kind == GestureKind::Type) {
        g.text = utf16Of(r.string(r.require(j, path, "text"), scenejson::memberPath(path, "text")));
    }
    return g;
}

std::string visibleControls(const host::ControlsPanel& panel) {
    std::string list;
    for (const host::ControlSlot& slot : panel.controls) list += (list.empty() ? "\"" : ", \"") + slot.label + "\"";
    return list;
}

PF_Point onPanel(const host::ControlSlot& slot, PF_Point local) {
    return PF_Point{slot.frame.left + local.h, slot.frame.top + local.v};
}

}  // namespace

GestureScript readGestureScript(const std::filesystem::path& file) {
    GestureScript script;
    script.fileName = file.filename().string();
    std::ifstream in(file, std::ios::binary);
    if (!in) scenejson::fail(script.fileName, "", "cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    const Json document = scenejson::parseDocument(script.fileName, text.str());
    Reader r{script.fileName};
    if (!document.is_object()) r.fail("", "expected a gesture file object");
    r.expectKeys(document, "", {"format", "version", "gestures"});
    if (r.string(r.require(document, "", "format"), "format") != "zephrin-gestures") {
        r.fail("format", "expected \"zephrin-gestures\"");
    }
    r.wholeNumber(r.require(document, "", "version"), "version", 1, 1);
    const Json& gestures = r.require(document, "", "gestures");
    if (!gestures.is_array()) r.fail("gestures", "expected a list of gestures");
    for (size_t i = 0; i < gestures.size(); ++i) {
        script.gestures.push_back(readGesture(r, gestures[i], scenejson::elementPath("gestures", i)));
    }
    return script;
}

host::ControlEventResult replayGesture(host::PluginHost& host, host::ControlsPanel& panel, const Gesture& gesture,
                                       const std::string& fileName) {
    Reader r{fileName};
    host::ControlEventResult result;
    if (gesture.kind == GestureKind::Key) {
        for (const NamedKey& key : kKeys) {
            if (gesture.key == key.name) result = host::typeKey(host, panel, key.virtualKey, 0, key.code);
        }
    } else if (gesture.kind == GestureKind::Type) {
        result = host::typeText(host, panel, gesture.text);
    } else {
        const host::ControlSlot* slot = host::controlNamed(panel, gesture.control);
        if (slot == nullptr) {
            r.fail(scenejson::memberPath(gesture.path, "control"),
                   "no control \"" + gesture.control + "\" is shown (shown: " + visibleControls(panel) + ")");
        }
        const int32_t position = slot->position;
        std::vector<PF_Point> points;
        for (PF_Point p : gesture.points) points.push_back(onPanel(*slot, p));
        switch (gesture.kind) {
            case GestureKind::Click:
            case GestureKind::Drag:
                if (gesture.menuChoice) win32::queuePopupChoice(static_cast<UINT_PTR>(*gesture.menuChoice));
                if (gesture.menuCancel) win32::queuePopupCancel();
                result = host::pressAndDrag(host, panel, position, points, gesture.button, gesture.modifiers,
                                            gesture.clicks);
                break;
            case GestureKind::Wheel:
                host::turnWheel(host, panel, points.front(), gesture.notches);
                break;
            case GestureKind::Pan:
                host::middleDrag(host, panel, points);
                break;
            case GestureKind::Hover:
                result = host::hoverControl(host, panel, points.front(), gesture.modifiers);
                break;
            default:
                break;
        }
    }
    if (result.err != PF_Err_NONE) {
        r.fail(gesture.path, "the effect answered error " + std::to_string(result.err));
    }
    return result;
}

void replayGestures(host::PluginHost& host, host::ControlsPanel& panel, const GestureScript& script) {
    for (const Gesture& gesture : script.gestures) {
        replayGesture(host, panel, gesture, script.fileName);
        // A menu the gesture answered but the effect never showed must not answer a later gesture's menu.
        win32::clearPopupAnswers();
    }
}

}  // namespace zephrin::app
