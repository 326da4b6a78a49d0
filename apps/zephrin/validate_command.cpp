#include "apps/zephrin/validate_command.h"

#include <iostream>

#include "apps/zephrin/cli.h"
#include "host/host_session.h"
#include "host/scene_file.h"

namespace zephrin::app {

int runValidate(const std::vector<std::filesystem::path>& scenes, const std::filesystem::path& pluginDir,
                std::ostream& out) {
    int result = kExitOk;
    host::PluginHostPtr pluginHost;
    for (const std::filesystem::path& scene : scenes) {
        host::Composition comp;
        try {
            comp = host::loadSceneFile(scene);
        } catch (const host::SceneFileError& error) {
            std::cerr << "zephrin: " << error.what() << "\n";
            result = kExitUsage;
            continue;
        }
        try {
            if (!pluginHost) pluginHost = host::openPluginHost(pluginDir);
            host::prepareSceneEffects(*pluginHost, comp);
            host::forgetSceneEffects(*pluginHost, comp);
        } catch (const host::SceneFileError& error) {
            host::forgetSceneEffects(*pluginHost, comp);
            std::cerr << "zephrin: " << error.what() << "\n";
            result = kExitUsage;
            continue;
        } catch (const std::exception& error) {
            std::cerr << "zephrin: " << error.what() << "\n";
            return kExitRenderFailure;
        }
        out << scene.string() << ": ok\n";
    }
    return result;
}

}  // namespace zephrin::app
