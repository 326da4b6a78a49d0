#include "apps/zephrin/editor_command.h"

#include <exception>

#include "apps/zephrin/cli.h"
#include "apps/zephrin/editor_session.h"
#include "apps/zephrin/gesture_script.h"
#include "host/custom_ui/drawn_image_png.h"
#include "host/scene_file.h"
#include "host/scene_writer.h"

namespace zephrin::app {
namespace {

bool hasExtension(const std::filesystem::path& file, const char* extension) {
    std::string ext = file.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == extension;
}

}  // namespace

int runEditor(const EditorOptions& options, std::ostream& out, std::ostream& err) {
    const bool replaying = !options.actions.empty();
    if (!replaying && !hasExtension(options.output, ".png")) {
        err << "zephrin: editor: -o " << options.output.string() << ": the panel image must be a .png file\n";
        return kExitUsage;
    }
    if (replaying && !hasExtension(options.output, ".json")) {
        err << "zephrin: editor: -o " << options.output.string() << ": the edited scene must be a .json file\n";
        return kExitUsage;
    }
    if (!options.panel.empty() && !hasExtension(options.panel, ".png")) {
        err << "zephrin: editor: --panel " << options.panel.string() << ": the panel image must be a .png file\n";
        return kExitUsage;
    }
    GestureScript script;
    std::unique_ptr<EditorSession> session;
    try {
        if (replaying) script = readGestureScript(options.actions);
        session = openEditorSession(EditorSessionOptions{options.scene, options.layer, options.width, options.height,
                                                         options.language, options.frame, options.pluginDir});
    } catch (...) {
        return reportCommandFailure(std::current_exception(), err);
    }
    try {
        if (!replaying) {
            host::writePng(drawEditorPanel(*session).image, options.output);
            out << "Wrote " << options.output.string() << "\n";
            return kExitOk;
        }
        for (const Gesture& gesture : script.gestures) {
            replayGesture(*session->host, session->panel, gesture, script.fileName);
            // Each change shows before the next gesture, as the host redraws an invalidated control; the
            // draw also keeps the frame the effect's window hooks test against up to date.
            drawEditorPanel(*session);
        }
        host::saveScene(*session->host, session->comp, options.output);
        out << "Wrote " << options.output.string() << "\n";
        if (!options.panel.empty()) {
            host::writePng(drawEditorPanel(*session).image, options.panel);
            out << "Wrote " << options.panel.string() << "\n";
        }
    } catch (...) {
        return reportCommandFailure(std::current_exception(), err);
    }
    return kExitOk;
}

}  // namespace zephrin::app
