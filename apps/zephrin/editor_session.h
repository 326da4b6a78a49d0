// What `zephrin editor` and `zephrin studio` share: a scene loaded into the stand-in host with its
// plug-ins, one layer's effect instance and its Effect Controls panel, opened and drawn once so that the
// effect's window hooks are in place before the first gesture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "host/composition.h"
#include "host/custom_ui/controls_panel.h"
#include "host/host_session.h"

namespace zephrin::app {

struct EditorSessionOptions {
    std::filesystem::path scene;
    std::string layer;
    int32_t width = 0, height = 0;  // the Top View control's size; 0: as registered
    std::string language = "en";
    int32_t frame = 0;
    std::filesystem::path pluginDir;
};

struct EditorSession {
    host::Composition comp;  // owned here: the host's instances know it by address
    host::PluginHostPtr host;
    size_t layerPosition = 0;
    host::EffectInstance* instance = nullptr;
    host::ControlsPanel panel;
    int32_t frame = 0;
};

// Throws host::SceneFileError for a bad scene or a layer the scene lacks or that carries no effect,
// host::HostError when the plug-ins cannot be set up.
std::unique_ptr<EditorSession> openEditorSession(const EditorSessionOptions& options);

host::PanelDrawing drawEditorPanel(EditorSession& session);

}  // namespace zephrin::app
