#include "apps/zephrin/info_command.h"

#include <cmath>
#include <iostream>

#include "apps/zephrin/cli.h"
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
    } catch (const std::exception& error) {
        std::cerr << "zephrin: " << error.what() << "\n";
        return kExitRenderFailure;
    }
    return kExitOk;
}

}  // namespace zephrin::app
