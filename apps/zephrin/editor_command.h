// `zephrin editor`: draws the effect's custom controls of one layer as the effect draws them, or replays
// a gesture file on them through the real effect and saves the edited scene.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

namespace zephrin::app {

struct EditorOptions {
    std::filesystem::path scene;
    std::string layer;
    std::filesystem::path output;   // the panel image, or with actions the edited scene
    std::filesystem::path actions;  // a gesture file; empty: draw only
    std::filesystem::path panel;    // with actions: the panel image after the gestures
    int32_t width = 0, height = 0;  // the Top View control's size; 0: as the effect registered it
    std::string language = "en";    // the host's UI language: en or zh
    int32_t frame = 0;              // the composition time of the edits
    std::filesystem::path pluginDir;
};

int runEditor(const EditorOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zephrin::app
