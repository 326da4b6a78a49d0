// End-to-end: a render stopped by a signal, as a farm manager stops a task (SIGTERM), a person at a
// terminal (SIGINT) or a closing session (SIGHUP). Finished frames stay; the frame being written
// leaves nothing behind; the exit code says which signal it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

bool waitForFile(const fs::path& file, std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(file)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(Interrupt, SignalDuringAFrameWriteLeavesOnlyFinishedFrames) {
    fs::path dir = freshTestFolder("Interrupt");
    fs::path scene = dir / "seq.json";
    writeTextFile(scene, R"({"format": "zephrin-scene", "version": 1,
      "composition": {"name": "Seq", "width": 32, "height": 24, "frameRate": 10, "duration": 1}})");
    const struct {
        int number;
        int exitCode;
    } signals[] = {{SIGTERM, 143}, {SIGINT, 130}, {SIGHUP, 129}};
    for (const auto& s : signals) {
        fs::path out = dir / ("sig" + std::to_string(s.number));
        fs::create_directories(out);
        RunningZephrin running = startZephrin(
            {"render", scene.string(), "--frames", "0-3", "-o", (out / "f.####.png").string()}, dir / "log.txt");
        ASSERT_GT(running.pid, 0);
        // Frame 1's temporary file is a FIFO, so the writer blocks in it until the signal comes: the
        // signal lands mid-write every time, not by luck of timing. The plug-ins take far longer to
        // load than this takes.
        fs::path temporary = out / (".f.0001.png.partial-" + std::to_string(running.pid) + ".png");
        ASSERT_EQ(::mkfifo(temporary.c_str(), 0600), 0);
        ASSERT_TRUE(waitForFile(out / "f.0000.png", std::chrono::seconds(60))) << readTextFile(running.log);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::kill(running.pid, s.number);
        EXPECT_EQ(waitForZephrin(running), s.exitCode) << "signal " << s.number << "\n" << readTextFile(running.log);
        EXPECT_TRUE(fs::exists(out / "f.0000.png"));
        EXPECT_FALSE(fs::exists(temporary)) << "signal " << s.number;
        for (const auto& entry : fs::directory_iterator(out)) {
            EXPECT_EQ(entry.path().filename(), "f.0000.png") << "left behind after signal " << s.number;
        }
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zephrin::test
