#include "apps/zephrin/info_command.h"

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "apps/zephrin/cli.h"
#include "common/usable_cpus.h"
#include "host/effect_instance.h"
#include "host/effect_plugin.h"
#include "host/host_session.h"
#include "host/scene_file.h"

namespace zephrin::app {
namespace {

const char* layerTypeName(host::LayerType type) {
    switch (type) {
        case host::LayerType::AV: return "av";
        case host::LayerType::Camera: return "camera";
        case host::LayerType::Light: return "light";
        case host::LayerType::Null: return "null";
    }
    return "?";
}

void printLayer(const host::Composition& comp, const host::Layer& layer, std::ostream& out) {
    out << "  " << layer.index << ". " << layer.name << " [" << layerTypeName(layer.type);
    if (layer.threeD) out << ", 3D";
    if (!layer.videoOn) out << ", hidden";
    if (layer.adjustment) out << ", adjustment";
    if (layer.guide) out << ", guide";
    out << "]";
    if (layer.source) {
        out << " source=" << layer.source->key << " " << layer.source->width << "x" << layer.source->height;
    }
    if (layer.parentId != 0) {
        for (const host::Layer& other : comp.layers)
            if (other.id == layer.parentId) out << " parent=" << other.name;
    }
    if (std::isfinite(layer.outPoint) || layer.inPoint != 0.0) {
        out << " in=" << layer.inPoint << "s out=" << layer.outPoint << "s";
    }
    for (const host::EffectEntry& effect : layer.effects) out << " effect=" << effect.matchName;
    out << "\n";
}

std::string streamText(const host::Composition& comp, AEGP_StreamType type, const AEGP_StreamVal& v) {
    std::ostringstream text;
    switch (type) {
        case AEGP_StreamType_OneD: text << v.one_d; break;
        case AEGP_StreamType_TwoD:
        case AEGP_StreamType_TwoD_SPATIAL: text << "[" << v.two_d.x << ", " << v.two_d.y << "]"; break;
        case AEGP_StreamType_ThreeD:
        case AEGP_StreamType_ThreeD_SPATIAL:
            text << "[" << v.three_d.x << ", " << v.three_d.y << ", " << v.three_d.z << "]";
            break;
        case AEGP_StreamType_COLOR:
            text << "[" << v.color.redF << ", " << v.color.greenF << ", " << v.color.blueF << "]";
            break;
        case AEGP_StreamType_LAYER_ID: {
            text << "none";
            for (const host::Layer& layer : comp.layers) {
                if (layer.id == v.layer_id) text.str("\"" + layer.name + "\"");
            }
            break;
        }
        default: break;
    }
    return text.str();
}

// A popup's value as a scene file writes it: the label of its 1-based choice.
std::string valueText(const host::Composition& comp, const PF_ParamDef& def, AEGP_StreamType type,
                      const AEGP_StreamVal& v) {
    if (def.param_type == PF_Param_POPUP && def.u.pd.u.namesptr != nullptr) {
        std::string_view choices = def.u.pd.u.namesptr;
        long choice = std::lround(v.one_d);
        for (long i = 1; i <= def.u.pd.num_choices; ++i) {
            size_t bar = choices.find('|');
            if (i == choice) return "\"" + std::string(choices.substr(0, bar)) + "\"";
            if (bar == std::string_view::npos) break;
            choices.remove_prefix(bar + 1);
        }
    }
    return streamText(comp, type, v);
}

bool sameValue(AEGP_StreamType type, const AEGP_StreamVal& a, const AEGP_StreamVal& b) {
    switch (type) {
        case AEGP_StreamType_OneD: return a.one_d == b.one_d;
        case AEGP_StreamType_TwoD:
        case AEGP_StreamType_TwoD_SPATIAL: return a.two_d.x == b.two_d.x && a.two_d.y == b.two_d.y;
        case AEGP_StreamType_ThreeD:
        case AEGP_StreamType_ThreeD_SPATIAL:
            return a.three_d.x == b.three_d.x && a.three_d.y == b.three_d.y && a.three_d.z == b.three_d.z;
        // Colours are registered as 8-bit pixels: compare at that precision.
        case AEGP_StreamType_COLOR: {
            PF_Pixel pa = host::pixelOfColor(a.color), pb = host::pixelOfColor(b.color);
            return pa.red == pb.red && pa.green == pb.green && pa.blue == pb.blue;
        }
        case AEGP_StreamType_LAYER_ID: return a.layer_id == b.layer_id;
        default: return true;
    }
}

// The parameters of each effect instance whose value or animation differs from the registered default.
void printEffects(host::PluginHost& pluginHost, const host::Composition& comp, std::ostream& out) {
    host::EffectPlugin* effect = host::loadedEffect(pluginHost);
    bool any = false;
    for (size_t i = 0; effect != nullptr && i < comp.layers.size(); ++i) {
        any = any || !host::effectInstances(pluginHost, comp, i).empty();
    }
    if (!any) {
        out << "  (none)\n";
        return;
    }
    for (size_t i = 0; i < comp.layers.size(); ++i) {
        for (host::EffectInstance* instance : host::effectInstances(pluginHost, comp, i)) {
            out << "  " << comp.layers[i].name << ": " << effect->name << " (" << instance->matchName << ")"
                << (instance->active ? "" : ", off") << "\n";
            int changed = 0;
            for (size_t position = 1; position < instance->streams.size(); ++position) {
                const host::EffectStream& stream = instance->streams[position];
                const PF_ParamDef& def = effect->params[position];
                AEGP_StreamVal dephault = host::streamDefaultOfParam(def);
                if (def.param_type == PF_Param_LAYER && def.u.ld.dephault == PF_LayerDefault_MYSELF) {
                    dephault.layer_id = comp.layers[i].id;
                }
                if (stream.type == AEGP_StreamType_NO_DATA) continue;
                if (stream.keyframes.empty() && sameValue(stream.type, stream.value, dephault)) continue;
                ++changed;
                out << "    " << position << " \"" << def.name << "\" = ";
                if (stream.keyframes.empty()) {
                    out << valueText(comp, def, stream.type, stream.value);
                } else {
                    out << "keyframes";
                    for (const auto& [seconds, value] : stream.keyframes) {
                        out << " " << seconds << "s: " << valueText(comp, def, stream.type, value);
                    }
                }
                out << "\n";
            }
            if (changed == 0) out << "    (every parameter at its default)\n";
        }
    }
}

}  // namespace

int runInfo(const std::filesystem::path& scene, const std::filesystem::path& pluginDir, std::ostream& out) {
    host::Composition comp;
    try {
        comp = host::loadSceneFile(scene);
    } catch (const host::SceneFileError& error) {
        std::cerr << "zephrin: " << error.what() << "\n";
        return kExitUsage;
    }
    out << "Composition \"" << comp.name << "\": " << comp.width << "x" << comp.height << ", " << comp.frameRate
        << " fps, " << comp.duration << " s, background (" << comp.background[0] << ", " << comp.background[1]
        << ", " << comp.background[2] << ", " << comp.background[3] << ")\n";
    if (comp.startFrame != 0) out << "Frames are numbered from " << comp.startFrame << "\n";
    out << "CPUs this process may use: " << usableCpuCount() << "\n";
    out << "Footage:\n";
    for (const auto& [key, footage] : comp.footage) {
        out << "  " << key << ": ";
        switch (footage->kind) {
            case host::FootageKind::Solid: out << "solid " << footage->width << "x" << footage->height; break;
            case host::FootageKind::Image:
                out << footage->path.string() << " " << footage->width << "x" << footage->height << " "
                    << footage->bitsPerChannel << "-bit";
                break;
            case host::FootageKind::Obj: out << footage->path.string() << " (OBJ model)"; break;
        }
        out << "\n";
    }
    out << "Layers (top first):\n";
    for (const host::Layer& layer : comp.layers) printLayer(comp, layer, out);

    try {
        auto pluginHost = host::openPluginHost(pluginDir);
        out << "Plug-ins in " << pluginDir.string() << ":\n";
        for (const std::string& line : host::describePlugins(*pluginHost)) out << "  " << line << "\n";
        try {
            host::prepareSceneEffects(*pluginHost, comp);
        } catch (const host::SceneFileError& error) {
            std::cerr << "zephrin: " << error.what() << "\n";
            return kExitUsage;
        }
        out << "Effects (values that differ from the defaults):\n";
        printEffects(*pluginHost, comp, out);
    } catch (const std::exception& error) {
        std::cerr << "zephrin: " << error.what() << "\n";
        return kExitRenderFailure;
    }
    return kExitOk;
}

}  // namespace zephrin::app
