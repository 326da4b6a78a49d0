#include "apps/zephrin/editor_session.h"

#include <cmath>

#include "common/effect_contract.h"
#include "host/effect_instance.h"
#include "host/scene_file.h"
#include "host/win32/win32_control.h"

namespace zephrin::app {

std::unique_ptr<EditorSession> openEditorSession(const EditorSessionOptions& options) {
    auto session = std::make_unique<EditorSession>();
    session->comp = host::loadSceneFile(options.scene);
    const std::string fileName = options.scene.filename().string();
    bool found = false;
    for (size_t i = 0; i < session->comp.layers.size() && !found; ++i) {
        if (session->comp.layers[i].name == options.layer) {
            session->layerPosition = i;
            found = true;
        }
    }
    if (!found) throw host::SceneFileError(fileName + ": no layer named \"" + options.layer + "\"");
    if (session->comp.layers[session->layerPosition].effects.empty()) {
        throw host::SceneFileError(fileName + ": layer \"" + options.layer + "\" carries no effect");
    }
    // The host runs in English so that the scene's parameter names (English labels) resolve; Chinese is
    // the effect's own "Language" control, switched as a user would.
    win32::resetPlatform();
    session->host = host::openPluginHost(options.pluginDir);
    host::prepareSceneEffects(*session->host, session->comp);
    session->instance = host::effectInstances(*session->host, session->comp, session->layerPosition).front();
    session->frame = options.frame;
    const double seconds = session->comp.frameRate > 0 ? options.frame / session->comp.frameRate : 0.0;
    if (options.language == "zh") {
        AEGP_StreamVal chinese{};
        chinese.one_d = param::kLanguageChinese;
        const PF_Err err = host::changeEffectParam(*session->host, *session->instance, param::kLanguage, chinese, seconds);
        if (err != PF_Err_NONE) throw host::HostError("switching the effect to Chinese failed with error " + std::to_string(err));
    }
    session->panel = host::openControlsPanel(*session->host, *session->instance,
                                             host::PanelLayoutOptions{options.width, options.height}, seconds);
    drawEditorPanel(*session);
    return session;
}

host::PanelDrawing drawEditorPanel(EditorSession& session) {
    return host::drawControlsPanel(*session.host, session.panel);
}

}  // namespace zephrin::app
