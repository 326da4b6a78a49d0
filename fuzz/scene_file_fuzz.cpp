// libFuzzer target for the scene-file loader: any bytes, saved as a scene file, must load into a
// composition whose layers and parents are consistent, or be refused with a SceneFileError that
// names the file. Nothing renders.
//
// The file is written into a private scratch folder holding a copy of the examples' assets, so the
// seed scenes load their footage. Inputs whose footage paths leave that folder are dropped before
// loading: the fuzzer must not open whatever files the machine happens to have.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "host/scene_file.h"
#include "host/scene_file_json.h"

namespace {

namespace fs = std::filesystem;
using zephrin::host::scenejson::Json;

constexpr const char* kSceneName = "scene.json";

fs::path& scratch() {
    static fs::path folder;
    return folder;
}

void removeScratch() {
    std::error_code ec;
    if (!scratch().empty()) fs::remove_all(scratch(), ec);
}

// A footage path the loader would open outside the scratch folder.
bool leavesScratch(const std::string& given) {
    const fs::path file(given);
    if (!file.is_relative() || file.has_root_name()) return true;
    const fs::path normal = file.lexically_normal();
    return !normal.empty() && *normal.begin() == "..";
}

// Parses the way the loader does; a document the parser refuses is refused by the loader before it
// looks at any footage, so it is safe to load.
bool footageStaysInScratch(const std::string& text) {
    Json root;
    try {
        root = zephrin::host::scenejson::parseDocument(kSceneName, text);
    } catch (const zephrin::host::SceneFileError&) {
        return true;
    }
    if (!root.is_object()) return true;
    const auto footage = root.find("footage");
    if (footage == root.end() || !footage->is_object()) return true;
    for (const auto& [key, entry] : footage->items()) {
        if (!entry.is_object()) continue;
        const auto file = entry.find("file");
        if (file != entry.end() && file->is_string() && leavesScratch(file->get<std::string>())) return false;
    }
    return true;
}

void checkComposition(const zephrin::host::Composition& comp) {
    for (std::size_t i = 0; i < comp.layers.size(); ++i) {
        const zephrin::host::Layer& layer = comp.layers[i];
        if (layer.index != static_cast<int32_t>(i + 1) || layer.id == 0) std::abort();
        if (layer.parentId < 0 || layer.parentId > static_cast<int32_t>(comp.layers.size())) std::abort();
        if (layer.parentId == layer.id) std::abort();
    }
    if (comp.width < 1 || comp.height < 1 || !(comp.frameRate > 0.0) || !(comp.duration > 0.0)) std::abort();
}

// libFuzzer's default cap follows the seeds' sizes (a few KB); hostile scene files need room to nest.
constexpr const char* kDefaultMaxLen = "-max_len=1048576";

// Adds kDefaultMaxLen to the command line unless the caller gave a cap of its own.
void askForLargeInputs(int* argc, char*** argv) {
    static std::vector<char*> args;
    for (int i = 0; i < *argc; ++i) {
        if (std::string((*argv)[i]).rfind("-max_len=", 0) == 0) return;
    }
    args.assign(*argv, *argv + *argc);
    args.push_back(const_cast<char*>(kDefaultMaxLen));
    args.push_back(nullptr);
    *argc += 1;
    *argv = args.data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    askForLargeInputs(argc, argv);
    std::string pattern = (fs::temp_directory_path() / "zephrin_scene_fuzz_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    scratch() = pattern;
    std::atexit(removeScratch);
    fs::copy(fs::path(ZEPHRIN_SOURCE_DIR) / "examples" / "assets", scratch() / "assets", fs::copy_options::recursive);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!footageStaysInScratch(text)) return -1;  // not kept in the corpus
    const fs::path file = scratch() / kSceneName;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) std::abort();
    }
    try {
        checkComposition(zephrin::host::loadSceneFile(file));
    } catch (const zephrin::host::SceneFileError& e) {
        // A refusal names the file it refuses.
        if (std::string(e.what()).rfind(file.string() + ": ", 0) != 0) std::abort();
    }
    return 0;
}
