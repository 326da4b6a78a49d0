#include "apps/zephrin/version_command.h"

#include <ostream>
#include <string>

#include "apps/zephrin/cli.h"
#include "host/effect_plugin.h"
#include "host/host_session.h"
#include "host/scene_file.h"

namespace zephrin::app {
namespace {

const char* stageName(A_u_long stage) {
    switch (stage) {
        case PF_Stage_DEVELOP: return "development";
        case PF_Stage_ALPHA: return "alpha";
        case PF_Stage_BETA: return "beta";
        default: return "release";
    }
}

// The effect's packed version word: "1.2.4 (development build 4)".
std::string effectVersionText(A_u_long word) {
    auto field = [word](unsigned long shift, unsigned long bits) { return (word >> shift) & bits; };
    A_u_long stage = field(PF_Stage_SHIFT, PF_Stage_BITS);
    std::string text = std::to_string(field(PF_Vers_SHIFT, PF_Vers_BITS)) + "." +
                       std::to_string(field(PF_Subvers_SHIFT, PF_Subvers_BITS)) + "." +
                       std::to_string(field(PF_Bugvers_SHIFT, PF_Bugvers_BITS));
    if (stage != PF_Stage_RELEASE) {
        text += std::string(" (") + stageName(stage) + " build " + std::to_string(field(PF_Build_SHIFT, PF_Build_BITS)) + ")";
    }
    return text;
}

}  // namespace

int runVersion(const std::filesystem::path& pluginDir, std::ostream& out) {
    out << "zephrin " << kProgramVersion << "\n";
    out << "scene format: " << host::kSceneFormatName << " version " << host::kSceneFormatVersion << "\n";
    try {
        host::PluginHostPtr pluginHost = host::openPluginHost(pluginDir);
        A_Version renderer = host::rendererArtisanVersion(*pluginHost);
        out << "renderer plug-in: ZephrinRenderer " << renderer.majorS << "." << renderer.minorS << "\n";
        if (host::EffectPlugin* effect = host::loadedEffect(*pluginHost)) {
            out << "effect plug-in: " << effect->name << " " << effectVersionText(effect->version) << "\n";
        } else {
            out << "effect plug-in: not loaded from " << pluginDir.string() << "\n";
        }
    } catch (const std::exception& error) {
        out << "plug-ins: " << error.what() << "\n";
    }
    return kExitOk;
}

}  // namespace zephrin::app
