#include "apps/zephrin/obj_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;
using app::findObjProblem;
using app::ObjProblem;

const std::string kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n";

class ObjCheck : public ::testing::Test {
protected:
    void SetUp() override { dir = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    void TearDown() override { fs::remove_all(dir); }
    std::optional<ObjProblem> check(const std::string& text) {
        fs::path file = dir / "model.obj";
        writeTextFile(file, text);
        return findObjProblem(file);
    }
    fs::path dir;
};

TEST_F(ObjCheck, ModelTheRendererReadsWholeHasNoProblem) {
    EXPECT_FALSE(check(kSquare + "# comment\no square\ng side\nusemtl paper\ns 1\nf 1/1/1 2/1/1 3/1/1 4/1/1\n"));
    // Relative indices, a '+' sign, an empty texture index, CRLF endings and trailing text after numbers.
    EXPECT_FALSE(check(kSquare + "f -4 -3//-1 +3/1\r\nv 2 2 2 extra\r\nf 5 1 2\n"));
}

TEST_F(ObjCheck, FirstLineTheRendererWouldSkipIsNamed) {
    struct Case {
        std::string tail;
        int64_t line;  // counted from the first line after the square's six
        std::string reason;
    };
    const Case cases[] = {
        {"v 1 2\nf 1 2 3\n", 1, "expected 3 numbers after \"v\""},
        {"vn 0 nan 1\nf 1 2 3\n", 1, "expected 3 numbers after \"vn\""},
        {"vt 0.5\nf 1 2 3\n", 1, "expected 2 numbers after \"vt\""},
        {"f 1 2 3\nf 1 2 0\nf 1 2 9\n", 2, "corner \"0\" names no vertex (4 read before it)"},
        {"f 1 2 -5\n", 1, "corner \"-5\" names no vertex (4 read before it)"},
        {"f 1/2 2 3\n", 1, "corner \"1/2\" names no texture coordinate (1 read before it)"},
        {"f 1//3 2 3\n", 1, "corner \"1//3\" names no normal (1 read before it)"},
        {"f 1 2\n", 1, "a face needs at least three corners"},
        {"f\t1 2 3\n", 1, "\"f\" must open the line and be followed by a space"},
        {"  v 1 2 3\nf 1 2 3\n", 1, "\"v\" must open the line and be followed by a space"},
    };
    for (const Case& c : cases) {
        std::optional<ObjProblem> problem = check(kSquare + c.tail);
        ASSERT_TRUE(problem) << c.tail;
        EXPECT_EQ(problem->line, 6 + c.line) << c.tail;
        EXPECT_EQ(problem->reason, c.reason) << c.tail;
    }
    // A face may only use vertices read before it.
    std::optional<ObjProblem> early = check("f 1 2 3\n" + kSquare + "f 1 2 3\n");
    ASSERT_TRUE(early);
    EXPECT_EQ(early->line, 1);
    EXPECT_EQ(early->text, "f 1 2 3");
}

TEST_F(ObjCheck, ModelWithNothingToDrawIsReportedAsAWhole) {
    std::optional<ObjProblem> empty = check("# nothing\n");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->line, 0);
    EXPECT_EQ(empty->reason, "no vertices: the model draws nothing");
    std::optional<ObjProblem> noFaces = check(kSquare);
    ASSERT_TRUE(noFaces);
    EXPECT_EQ(noFaces->reason, "no faces: the model draws nothing");
    std::optional<ObjProblem> missing = findObjProblem(dir / "absent.obj");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->reason, "cannot be read");
    // A long line is quoted shortened, so the warning stays one readable line.
    std::optional<ObjProblem> longLine = check(kSquare + "v " + std::string(500, '1') + "x\n");
    ASSERT_TRUE(longLine);
    EXPECT_LT(longLine->text.size(), 100u);
}

TEST_F(ObjCheck, RenderWarnsOnceNamingTheFileAndStillWritesEveryFrame) {
    writeTextFile(dir / "broken.obj", kSquare + "f 1 2 3\nf 1 2 77\nf 2 3 4\nv 1\n");
    fs::path scene = dir / "scene.json";
    writeTextFile(scene, R"({"format": "zephrin-scene", "version": 1,
      "composition": {"width": 64, "height": 48, "frameRate": 10, "duration": 1},
      "footage": {"model": {"file": "broken.obj"}},
      "layers": [{"type": "av", "source": "model", "threeD": true, "transform": {"position": [32, 24, 0]}}]})");
    ProcessResult run =
        runZephrin({"render", scene.string(), "--frames", "0-2", "-o", (dir / "out.####.png").string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string warning = (dir / "broken.obj").string() + ": line 8: corner \"77\" names no vertex";
    std::size_t first = run.output.find(warning);
    EXPECT_NE(first, std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("warning", first + 1), std::string::npos) << "warned more than once:\n" << run.output;
    for (const char* frame : {"out.0000.png", "out.0001.png", "out.0002.png"}) EXPECT_TRUE(fs::exists(dir / frame));

    ProcessResult quiet = runZephrin({"render", scene.string(), "-q", "-o", (dir / "q.png").string()});
    ASSERT_EQ(quiet.exitCode, 0) << quiet.output;
    EXPECT_EQ(quiet.output, "");
}

}  // namespace
}  // namespace zephrin::test
