#include "apps/zephrin/studio_command.h"

#include <httplib.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <nlohmann/json.hpp>

#include "apps/zephrin/cli.h"
#include "common/utf8.h"
#include "apps/zephrin/editor_session.h"
#include "apps/zephrin/studio_page.h"
#include "host/custom_ui/control_events.h"
#include "host/custom_ui/drawn_image_png.h"
#include "host/effect_instance.h"
#include "host/effect_plugin.h"
#include "host/scene_file.h"
#include "host/scene_writer.h"
#include "host/win32/win32_control.h"

namespace zephrin::app {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Loopback only: the page drives a process that writes files.
constexpr const char* kLoopback = "127.0.0.1";

struct Studio {
    std::unique_ptr<EditorSession> session;
    fs::path saveTo;
    int32_t previewDownsample = 2;
    // The gesture in progress: the control it began on and the click record the effect keeps in it.
    bool pressed = false;
    bool dragging = false;
    int32_t control = 0;
    host::MouseButton button = host::MouseButton::Left;
    host::ControlEvent last;
    size_t menusBefore = 0;
    std::mutex mutex;  // one request at a time reaches the host
};

std::string firstEffectLayer(const fs::path& scene) {
    const host::Composition comp = host::loadSceneFile(scene);
    for (const host::Layer& layer : comp.layers) {
        if (!layer.effects.empty()) return layer.name;
    }
    throw host::SceneFileError(scene.filename().string() + ": no layer carries an effect");
}

// Coordinates from the page are untrusted numbers; anything far off the panel is just off it.
constexpr double kMaxEventCoordinate = 1.0e6;

A_long pixelOf(double coordinate) {
    if (!std::isfinite(coordinate)) return 0;
    return static_cast<A_long>(std::lround(std::clamp(coordinate, -kMaxEventCoordinate, kMaxEventCoordinate)));
}

// Only pages that name the studio by its loopback address reach it: a page of another site that a
// browser resolves to 127.0.0.1 (DNS rebinding) names its own host and is refused.
bool fromStudioPage(const httplib::Request& req, int port) {
    const std::string host = req.get_header_value("Host");
    const std::string portText = ":" + std::to_string(port);
    return host == std::string(kLoopback) + portText || host == "localhost" + portText;
}

PF_Modifiers modifiersOf(const json& event) {
    PF_Modifiers modifiers = PF_Mod_NONE;
    if (event.value("ctrl", false)) modifiers |= PF_Mod_CMD_CTRL_KEY;
    if (event.value("alt", false)) modifiers |= PF_Mod_OPT_ALT_KEY;
    if (event.value("shift", false)) modifiers |= PF_Mod_SHIFT_KEY;
    return modifiers;
}

// The CSS cursor for the effect's answer to a cursor query.
const char* cssCursor(PF_CursorType cursor) {
    switch (cursor) {
        case PF_Cursor_PAN:
        case PF_Cursor_HAND:
            return "grab";
        case PF_Cursor_SCALE_DIAG_LR:
            return "nwse-resize";
        case PF_Cursor_FINGER_POINTER:
            return "pointer";
        case PF_Cursor_CROSSHAIRS:
            return "crosshair";
        default:
            return "default";
    }
}

json stateJson(Studio& studio) {
    EditorSession& s = *studio.session;
    json controls = json::array();
    for (const host::ControlSlot& slot : s.panel.controls) {
        controls.push_back({{"position", slot.position},
                            {"label", slot.label},
                            {"frame", {slot.frame.left, slot.frame.top, slot.frame.right, slot.frame.bottom}}});
    }
    json params = json::object();
    const host::EffectPlugin& effect = *host::loadedEffect(*s.host);
    const double seconds = s.panel.seconds;
    for (size_t position = 1; position < effect.params.size(); ++position) {
        const host::EffectStream& stream = s.instance->streams[position];
        const AEGP_StreamVal v = host::effectStreamValue(*s.host, *s.instance, static_cast<int32_t>(position), seconds);
        switch (stream.type) {
            case AEGP_StreamType_OneD:
                params[std::to_string(position)] = v.one_d;
                break;
            case AEGP_StreamType_ThreeD:
            case AEGP_StreamType_ThreeD_SPATIAL:
                params[std::to_string(position)] = {v.three_d.x, v.three_d.y, v.three_d.z};
                break;
            default:
                break;
        }
    }
    return {{"layer", s.comp.layers[s.layerPosition].name},
            {"panel", {{"width", s.panel.width}, {"height", s.panel.height}}},
            {"controls", controls},
            {"params", params}};
}

// A menu the effect showed and nobody answered: the page shows it and repeats the click with the choice.
json unansweredMenu(Studio& studio) {
    const std::vector<win32::TrackedMenu> menus = win32::trackedMenus();
    if (menus.size() <= studio.menusBefore || menus.back().result != 0) return nullptr;
    json items = json::array();
    for (const win32::MenuItem& item : menus.back().items) {
        std::string text;
        for (char16_t c : item.text) appendUtf8(text, c);
        items.push_back({{"id", item.id}, {"text", text}, {"separator", (item.flags & MF_SEPARATOR) != 0},
                         {"checked", item.checked}});
    }
    return items;
}

json handleEvent(Studio& studio, const json& event) {
    EditorSession& s = *studio.session;
    host::PluginHost& host = *s.host;
    host::ControlsPanel& panel = s.panel;
    const std::string type = event.value("type", "");
    const PF_Point point{pixelOf(event.value("x", 0.0)), pixelOf(event.value("y", 0.0))};
    json reply = {{"cursor", "default"}};
    studio.menusBefore = win32::trackedMenus().size();
    if (type == "down") {
        const host::ControlSlot* slot = host::controlAt(panel, point);
        if (slot == nullptr) return reply;
        if (event.contains("menu") && event["menu"].is_number_integer()) {
            win32::queuePopupChoice(event["menu"].get<UINT_PTR>());
        }
        studio.button = event.value("button", 0) == 2 ? host::MouseButton::Right : host::MouseButton::Left;
        win32::setKeyDown(studio.button == host::MouseButton::Right ? VK_RBUTTON : VK_LBUTTON, true);
        win32::setCursorPos(host::screenPointOf(panel, point));
        host::ControlEvent click;
        click.type = PF_Event_DO_CLICK;
        click.position = slot->position;
        click.point = point;
        click.modifiers = modifiersOf(event);
        click.clicks = event.value("clicks", 1);
        panel.focus = slot->position;
        const host::ControlEventResult result = host::sendControlEvent(host, panel, click);
        win32::clearPopupAnswers();
        studio.pressed = true;
        studio.dragging = result.err == PF_Err_NONE && result.sendDrag;
        studio.control = slot->position;
        studio.last = click;
        studio.last.refcon = result.refcon;
        reply["err"] = result.err;
        reply["menu"] = unansweredMenu(studio);
    } else if ((type == "move" || type == "up") && studio.pressed) {
        const bool last = type == "up";
        if (last) {
            win32::setKeyDown(studio.button == host::MouseButton::Right ? VK_RBUTTON : VK_LBUTTON, false);
            studio.pressed = false;
        }
        if (studio.dragging) {
            host::ControlEvent drag = studio.last;
            drag.type = PF_Event_DRAG;
            drag.point = point;
            drag.lastTime = last;
            drag.sendDrag = true;
            win32::setCursorPos(host::screenPointOf(panel, point));
            const host::ControlEventResult result = host::sendControlEvent(host, panel, drag);
            studio.last.refcon = result.refcon;
            studio.dragging = !last && result.err == PF_Err_NONE && result.sendDrag;
            reply["err"] = result.err;
        }
    } else if (type == "move") {
        reply["cursor"] = cssCursor(host::hoverControl(host, panel, point, modifiersOf(event)).cursor);
    } else if (type == "wheel") {
        const double delta = event.value("deltaY", 0.0);
        // A browser's wheel runs positive toward the user; a notch away from the user zooms in.
        if (delta != 0.0) reply["handled"] = host::turnWheel(host, panel, point, delta < 0 ? 1 : -1);
    } else if (type == "middle-down" || type == "middle-move" || type == "middle-up") {
        const POINT screen = host::screenPointOf(panel, point);
        reply["handled"] = type == "middle-down"   ? win32::sendMiddleDown(screen)
                           : type == "middle-move" ? win32::sendMouseMove(screen)
                                                   : win32::sendMiddleUp(screen);
    } else if (type == "key") {
        const std::string key = event.value("key", "");
        host::ControlEventResult result;
        if (key == "Enter") {
            result = host::typeKey(host, panel, VK_RETURN, 0, PF_ControlCode_Return);
        } else if (key == "Backspace") {
            result = host::typeKey(host, panel, VK_BACK, 0, PF_ControlCode_Backspace);
        } else if (key == "Escape") {
            result = host::typeKey(host, panel, VK_ESCAPE, 0, PF_ControlCode_Escape);
        } else if (key == "Delete") {
            result = host::typeKey(host, panel, VK_DELETE, 0, PF_ControlCode_Delete);
        } else if (key.size() == 1 && static_cast<unsigned char>(key[0]) >= 0x20 &&
                   static_cast<unsigned char>(key[0]) < 0x7f) {
            result = host::typeText(host, panel, std::u16string(1, static_cast<char16_t>(key[0])));
        }
        reply["err"] = result.err;
    }
    return reply;
}

host::DrawnImage previewImage(Studio& studio) {
    EditorSession& s = *studio.session;
    host::FrameRequest request;
    request.frame = s.frame;
    request.downsampleX = request.downsampleY = static_cast<int16_t>(studio.previewDownsample);
    const host::FrameResult frame = host::renderCompositionFrame(*s.host, s.comp, request);
    if (frame.error != 0) throw std::runtime_error("the renderer answered error " + std::to_string(frame.error));
    host::DrawnImage image;
    image.width = frame.image.width;
    image.height = frame.image.height;
    image.rgba.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const std::array<double, 4> p = host::readPixel(frame.image, x, y);
            uint8_t* out = image.rgba.data() + (static_cast<size_t>(y) * static_cast<size_t>(image.width) + x) * 4;
            for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>(std::lround(std::clamp(p[c], 0.0, 1.0) * 255));
        }
    }
    return image;
}

void answerError(httplib::Response& res, const std::exception& error) {
    res.status = 500;
    res.set_content(json{{"error", error.what()}}.dump(), "application/json");
}

}  // namespace

int runStudio(const StudioOptions& options, std::ostream& out, std::ostream& err) {
    Studio studio;
    studio.previewDownsample = std::max(1, options.previewDownsample);
    try {
        const std::string layer = options.layer.empty() ? firstEffectLayer(options.scene) : options.layer;
        studio.session =
            openEditorSession(EditorSessionOptions{options.scene, layer, 0, 0, "en", options.frame, options.pluginDir});
    } catch (...) {
        return reportCommandFailure(std::current_exception(), err);
    }
    studio.saveTo = options.output;
    if (studio.saveTo.empty()) {
        studio.saveTo = options.scene.parent_path() / (options.scene.stem().string() + ".edited.json");
    }

    httplib::Server server;
    // The effect is called on one thread only, as the host's UI thread calls it; its window hooks belong
    // to the thread that drew last.
    server.new_task_queue = [] { return new httplib::ThreadPool(1); };
    // One request per connection: with one thread, a browser's idle keep-alive connection would hold up
    // every other request until it timed out.
    server.set_keep_alive_max_count(1);
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(studioPage(), "text/html; charset=utf-8");
    });
    server.Get("/panel.png", [&studio](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(studio.mutex);
        try {
            res.set_content(host::encodePng(drawEditorPanel(*studio.session).image), "image/png");
        } catch (const std::exception& error) {
            answerError(res, error);
        }
    });
    server.Get("/preview.png", [&studio](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(studio.mutex);
        try {
            res.set_content(host::encodePng(previewImage(studio)), "image/png");
        } catch (const std::exception& error) {
            answerError(res, error);
        }
    });
    server.Get("/state", [&studio](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(studio.mutex);
        res.set_content(stateJson(studio).dump(), "application/json");
    });
    server.Post("/event", [&studio](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(studio.mutex);
        try {
            const json event = json::parse(req.body);
            res.set_content(handleEvent(studio, event).dump(), "application/json");
        } catch (const json::exception& error) {
            res.status = 400;
            res.set_content(json{{"error", error.what()}}.dump(), "application/json");
        } catch (const std::exception& error) {
            answerError(res, error);
        }
    });
    server.Post("/save", [&studio](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(studio.mutex);
        try {
            host::saveScene(*studio.session->host, studio.session->comp, studio.saveTo);
            res.set_content(json{{"saved", studio.saveTo.string()}}.dump(), "application/json");
        } catch (const std::exception& error) {
            answerError(res, error);
        }
    });
    server.Post("/quit", [&server](const httplib::Request&, httplib::Response& res) {
        res.set_content("{}", "application/json");
        server.stop();
    });

    const int port = options.port > 0 ? (server.bind_to_port(kLoopback, options.port) ? options.port : -1)
                                      : server.bind_to_any_port(kLoopback);
    server.set_pre_routing_handler([port](const httplib::Request& req, httplib::Response& res) {
        if (fromStudioPage(req, port)) return httplib::Server::HandlerResponse::Unhandled;
        res.status = 403;
        res.set_content("{\"error\": \"not the studio's address\"}", "application/json");
        return httplib::Server::HandlerResponse::Handled;
    });
    if (port <= 0) {
        err << "zephrin: studio: cannot listen on " << kLoopback << ":" << options.port << "\n";
        return kExitRenderFailure;
    }
    out << "Zephrin studio: http://" << kLoopback << ":" << port << "/  (saves to " << studio.saveTo.string() << ")"
        << std::endl;
    server.listen_after_bind();
    return kExitOk;
}

}  // namespace zephrin::app
