// Replays the parser's fuzz corpus and every truncated prefix of a valid model, so that the hostile
// inputs the fuzzer keeps are checked on every build, with or without a fuzzing compiler.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "renderer/geometry/obj/obj_parser.h"

namespace zephrin {
namespace {

std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every parsed model keeps the invariants the mesh builder relies on.
void expectSound(const std::shared_ptr<const ObjGeometry>& g, const std::string& what) {
    if (g == nullptr) return;
    EXPECT_FALSE(g->positions.empty()) << what;
    EXPECT_FALSE(g->faces.empty()) << what;
    for (const Vec3& p : g->positions) ASSERT_TRUE(isFinite(p)) << what;
    for (const Vec3& n : g->normals) ASSERT_NEAR(length(n), 1.0, 1e-9) << what;
    for (const ObjPolygon& polygon : g->faces) {
        ASSERT_GE(polygon.size(), 3u) << what;
        for (const ObjCorner& c : polygon) {
            ASSERT_GE(c.position, 0) << what;
            ASSERT_LT(static_cast<size_t>(c.position), g->positions.size()) << what;
        }
    }
}

// Each input in a buffer of its own size, so that the address sanitizer sees any read past its end.
std::shared_ptr<const ObjGeometry> parseFresh(const std::string& bytes, size_t size) {
    std::unique_ptr<char[]> buffer(new char[size == 0 ? 1 : size]);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size), buffer.get());
    return parseObjBytes(std::string_view(buffer.get(), size));
}

TEST(ObjCorpus, EveryCorpusFileParsesSoundly) {
    const std::filesystem::path corpus = std::filesystem::path(ZEPHRIN_SOURCE_DIR) / "fuzz" / "corpus" / "obj";
    ASSERT_TRUE(std::filesystem::is_directory(corpus));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        const std::string bytes = readBytes(entry.path());
        expectSound(parseFresh(bytes, bytes.size()), entry.path().filename().string());
        ++files;
    }
    EXPECT_GE(files, 8);
}

TEST(ObjCorpus, EveryTruncatedPrefixOfAValidModelParsesSoundly) {
    const std::string bytes =
        readBytes(std::filesystem::path(ZEPHRIN_SOURCE_DIR) / "examples" / "assets" / "torus.obj");
    ASSERT_FALSE(bytes.empty());
    const auto whole = parseFresh(bytes, bytes.size());
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->faces.size(), 128u);
    size_t previousFaces = 0;
    for (size_t size = 0; size < bytes.size(); ++size) {
        const auto g = parseFresh(bytes, size);
        expectSound(g, "prefix of " + std::to_string(size) + " bytes");
        // A longer prefix never loses a face a shorter one had.
        const size_t faces = g != nullptr ? g->faces.size() : 0;
        ASSERT_GE(faces, previousFaces) << size;
        previousFaces = faces;
    }
}

}  // namespace
}  // namespace zephrin
