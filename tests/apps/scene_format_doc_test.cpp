// The scene format's two descriptions are checked like code. docs/scene-format.md: every scene file it
// shows is read by the real program, the one it shows being refused gets the message it prints, and
// it names every key. `zephrin schema`: a real validator (python3-jsonschema) accepts every example
// the project ships and the page shows, and refuses what the loader refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

struct DocExample {
    std::string text;
    std::string refusal;  // the message the page says the file gets; empty for a usable file
    size_t line = 0;
};

std::vector<DocExample> jsonExamples(const std::string& page) {
    std::vector<DocExample> examples;
    const std::regex block("(<!-- refused: ([^\\n]*) -->\\n)?```json\\n([\\s\\S]*?)```");
    for (std::sregex_iterator it(page.begin(), page.end(), block), end; it != end; ++it) {
        const std::smatch& m = *it;
        size_t line = 1 + static_cast<size_t>(std::count(page.begin(), page.begin() + m.position(0), '\n'));
        examples.push_back(DocExample{m[3].str(), m[2].str(), line});
    }
    return examples;
}

std::string runCommand(const std::string& command) {
    std::string output;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    ::pclose(pipe);
    return output;
}

// Prints "<file>: ok" or "<file>: invalid: <reason>" for each file, after checking the schema itself.
const char* const kValidatorScript = R"(import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
for name in sys.argv[2:]:
    errors = sorted(validator.iter_errors(json.load(open(name))), key=lambda e: list(e.absolute_path))
    print(name + ": " + ("ok" if not errors else "invalid: " + errors[0].message))
)";

class SceneFormatDoc : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshTestFolder("SceneFormatDoc");
        // The page's footage paths point into examples/assets, as they do for a scene saved in examples/.
        fs::create_directory_symlink(sourceFolder() / "examples" / "assets", dir / "assets");
        examples = jsonExamples(readTextFile(sourceFolder() / "docs" / "scene-format.md"));
    }
    void TearDown() override { fs::remove_all(dir); }

    // What the schema validator says of each file, one line per file.
    std::string validateWithSchema(const std::vector<fs::path>& files) {
        ProcessResult schema = runZephrin({"schema"});
        EXPECT_EQ(schema.exitCode, 0) << schema.output;
        writeTextFile(dir / "schema.json", schema.output);
        writeTextFile(dir / "validate.py", kValidatorScript);
        std::string command = "python3 '" + (dir / "validate.py").string() + "' '" + (dir / "schema.json").string() + "'";
        for (const fs::path& file : files) command += " '" + file.string() + "'";
        return runCommand(command);
    }

    fs::path dir;
    std::vector<DocExample> examples;
};

TEST_F(SceneFormatDoc, EveryExampleIsAUsableSceneFile) {
    ASSERT_GE(examples.size(), 8u) << "the page's examples were not found";
    std::vector<std::string> args{"validate"};
    std::vector<fs::path> files;
    for (const DocExample& example : examples) {
        if (!example.refusal.empty()) continue;
        fs::path file = dir / ("line" + std::to_string(example.line) + ".json");
        writeTextFile(file, example.text);
        args.push_back(file.string());
        files.push_back(file);
    }
    ProcessResult run = runZephrin(args);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const fs::path& file : files) {
        EXPECT_NE(run.output.find(file.string() + ": ok"), std::string::npos) << "the example at " << file.stem() << "\n"
                                                                             << run.output;
    }
}

TEST_F(SceneFormatDoc, TheRefusedExampleGetsTheMessageThePageShows) {
    size_t refused = 0;
    for (const DocExample& example : examples) {
        if (example.refusal.empty()) continue;
        ++refused;
        fs::path file = dir / "refused.json";
        writeTextFile(file, example.text);
        ProcessResult run = runZephrin({"validate", file.string()});
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_NE(run.output.find("refused.json: " + example.refusal), std::string::npos) << run.output;
    }
    EXPECT_GE(refused, 1u);
}

// Scene files say what they are; examples/ also holds the editor's gesture files beside them.
bool isSceneFile(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str().find("\"zephrin-scene\"") != std::string::npos;
}

TEST_F(SceneFormatDoc, TheSchemaAcceptsEveryShippedAndDocumentedScene) {
    std::vector<fs::path> files;
    for (const char* folder : {"examples", "tests/data/scenes"}) {
        for (const auto& entry : fs::directory_iterator(sourceFolder() / folder))
            if (entry.path().extension() == ".json" && isSceneFile(entry.path())) files.push_back(entry.path());
    }
    for (const DocExample& example : examples) {
        fs::path file = dir / ((example.refusal.empty() ? "doc" : "refused") + std::to_string(example.line) + ".json");
        writeTextFile(file, example.text);
        files.push_back(file);
    }
    std::string report = validateWithSchema(files);
    for (const fs::path& file : files) {
        bool refused = file.stem().string().rfind("refused", 0) == 0;
        std::string expected = file.string() + (refused ? ": invalid: " : ": ok\n");
        EXPECT_NE(report.find(expected), std::string::npos) << "expected \"" << expected << "\" in:\n" << report;
    }
}

// The loader and the schema come from one set of tables: what one refuses, the other refuses too.
TEST_F(SceneFormatDoc, TheSchemaRefusesWhatTheLoaderRefuses) {
    auto scene = [](const std::string& composition, const std::string& rest) {
        return R"({"format": "zephrin-scene", "version": 1, "composition": )" + composition + rest + "}";
    };
    const std::string comp = R"({"width": 64, "height": 48, "frameRate": 10, "duration": 1})";
    const std::string solid = R"(, "footage": {"card": {"solid": {"width": 8, "height": 8}}})";
    const std::string cases[] = {
        scene(R"({"width": 64, "height": 48, "frameRate": 10})", ""),
        scene(R"({"width": 64.5, "height": 48, "frameRate": 10, "duration": 1})", ""),
        scene(R"({"width": 64, "height": 48, "frameRate": 0, "duration": 1})", ""),
        scene(R"({"width": 64, "height": 48, "frameRate": 10, "duration": 1, "startFrame": -1})", ""),
        scene(comp, R"(, "extra": 1)"),
        scene(comp, R"(, "footage": {"card": {"solid": {"width": 8, "height": 8}, "file": "a.png"}})"),
        scene(comp, solid + R"(, "layers": [{"type": "av", "source": "card", "transform": {"positon": [0, 0, 0]}}])"),
        scene(comp, solid + R"(, "layers": [{"type": "av", "source": "card", "transform": {"scale": [50, 50]}}])"),
        scene(comp, solid + R"(, "layers": [{"type": "av", "source": "card",
                                              "transform": {"opacity": {"keyframes": [[0, 10, 20]]}}}])"),
        scene(comp, R"(, "layers": [{"type": "light", "light": {"lightType": "laser"}}])"),
        scene(comp, R"(, "layers": [{"type": "light", "light": {"castsShadows": "yes"}}])"),
        scene(comp, R"(, "layers": [{"type": "hologram"}])"),
        scene(comp, R"(, "layers": [{"type": "null", "effects": [{"params": {}}]}])"),
        scene(comp, R"(, "layers": {"type": "null"})"),
        R"({"format": "zephrin-scene", "version": "1", "composition": )" + comp + "}",
    };
    std::vector<fs::path> files;
    std::vector<std::string> args{"validate"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        fs::path file = dir / ("case" + std::to_string(i) + ".json");
        writeTextFile(file, cases[i]);
        files.push_back(file);
        args.push_back(file.string());
    }
    ProcessResult loader = runZephrin(args);
    EXPECT_EQ(loader.exitCode, 2) << loader.output;
    std::string report = validateWithSchema(files);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_NE(loader.output.find("zephrin: " + files[i].string() + ": "), std::string::npos)
            << cases[i] << "\n" << loader.output;
        EXPECT_EQ(loader.output.find(files[i].string() + ": ok"), std::string::npos) << cases[i];
        EXPECT_NE(report.find(files[i].string() + ": invalid: "), std::string::npos) << cases[i] << "\n" << report;
    }
}

// Every key the schema (and so the loader) knows is explained on the page.
TEST_F(SceneFormatDoc, ThePageNamesEveryKey) {
    ProcessResult schema = runZephrin({"schema"});
    ASSERT_EQ(schema.exitCode, 0) << schema.output;
    nlohmann::json parsed = nlohmann::json::parse(schema.output);
    std::string page = readTextFile(sourceFolder() / "docs" / "scene-format.md");
    std::vector<nlohmann::json> objects{parsed};
    for (const auto& [name, definition] : parsed["$defs"].items()) objects.push_back(definition);
    size_t keys = 0;
    for (const nlohmann::json& object : objects) {
        if (!object.contains("properties")) continue;
        for (const auto& [key, value] : object["properties"].items()) {
            ++keys;
            EXPECT_NE(page.find("`" + key + "`"), std::string::npos) << "docs/scene-format.md never names `" << key << "`";
        }
    }
    EXPECT_GT(keys, 50u);
}

}  // namespace
}  // namespace zephrin::test
