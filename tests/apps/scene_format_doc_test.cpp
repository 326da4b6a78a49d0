// docs/scene-format.md is checked like code: every scene file it shows is read by the real program,
// and the one it shows being refused is refused with the message it prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
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

class SceneFormatDoc : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshTestFolder("SceneFormatDoc");
        // The page's footage paths point into examples/assets, as they do for a scene saved in examples/.
        fs::create_directory_symlink(sourceFolder() / "examples" / "assets", dir / "assets");
        examples = jsonExamples(readTextFile(sourceFolder() / "docs" / "scene-format.md"));
    }
    void TearDown() override { fs::remove_all(dir); }
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

}  // namespace
}  // namespace zephrin::test
