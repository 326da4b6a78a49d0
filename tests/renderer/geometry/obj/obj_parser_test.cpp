#include "renderer/geometry/obj/obj_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "obj_test_files.h"
#include "renderer/geometry/obj/obj_paths.h"

namespace zephrin {
namespace {

using namespace std::string_literals;

const std::string kSquare =
    "# a unit square\n"
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "vn 0 0 2\n"
    "f 1/1/1 2/2/1 3/3/1 4/4/1\n";

TEST(ObjParser, ReadsPositionsTexcoordsNormalsAndFaces) {
    auto g = parseObjBytes(kSquare);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->positions.size(), 4u);
    EXPECT_EQ(g->texcoords.size(), 4u);
    ASSERT_EQ(g->normals.size(), 1u);
    EXPECT_DOUBLE_EQ(g->normals[0].z, 1.0);  // stored normalised
    ASSERT_EQ(g->faces.size(), 1u);
    ASSERT_EQ(g->faces[0].size(), 4u);
    EXPECT_EQ(g->faces[0][2].position, 2);
    EXPECT_EQ(g->faces[0][2].texcoord, 2);
    EXPECT_EQ(g->faces[0][2].normal, 0);
}

TEST(ObjParser, NegativeIndicesCountBackFromTheEntriesReadSoFar) {
    auto g = parseObjBytes("v 0 0 0\nv 9 9 9\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\nv 5 5 5\nf -4//-1 -3 -2\n");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->faces.size(), 2u);
    EXPECT_EQ(g->faces[0][0].position, 1);
    EXPECT_EQ(g->faces[0][2].position, 3);
    // Counted when the face is read: the fifth position has arrived by then.
    EXPECT_EQ(g->faces[1][0].position, 1);
    EXPECT_EQ(g->faces[1][0].normal, -1);  // no normals read: -1 + 0 points before the first
}

TEST(ObjParser, ZeroAndOutOfRangeCornersAreDroppedAndShortFacesWithThem) {
    auto g = parseObjBytes(
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
        "f 1 0 2 3\n"      // index 0 dropped, three corners left
        "f 1 2 0\n"        // two corners left: no face
        "f 1 2 5 -9\n"     // beyond either end
        "f 1\nf 1 2\nf\n"  // one and two corners
        "f 1/0/0 2/x/ 3//\n");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->faces.size(), 2u);
    EXPECT_EQ(g->faces[0].size(), 3u);
    EXPECT_EQ(g->faces[0][1].position, 1);
    EXPECT_EQ(g->faces[1][0].texcoord, -1);
    EXPECT_EQ(g->faces[1][1].texcoord, -1);
    EXPECT_EQ(g->faces[1][2].normal, -1);
}

TEST(ObjParser, NumbersMustAllBeReadAndFinite) {
    auto g = parseObjBytes(
        "v 1 2\nv 1 2 x\nv nan 0 0\nv 1e999 0 0\nv +1 -2 3e0 7\nv\t1 1 1\n"
        "vt 0.5\nvt 0.25 0.75 0.1\nvn 0 0 0\nvn 1e200 1e200 1e200\n"
        "v 0 0 0\nv 1 0 0\nf 1 2 3\n");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->positions.size(), 3u);  // "v\t" is not a position line
    EXPECT_DOUBLE_EQ(g->positions[0].x, 1.0);
    EXPECT_DOUBLE_EQ(g->positions[0].y, -2.0);
    ASSERT_EQ(g->texcoords.size(), 1u);
    EXPECT_DOUBLE_EQ(g->texcoords[0].v, 0.75);
    ASSERT_EQ(g->normals.size(), 2u);
    // A zero normal and one whose length overflows both face +z.
    EXPECT_DOUBLE_EQ(g->normals[0].z, 1.0);
    EXPECT_DOUBLE_EQ(g->normals[1].z, 1.0);
}

TEST(ObjParser, NothingWithoutPositionsOrFaces) {
    EXPECT_EQ(parseObjBytes(""), nullptr);
    EXPECT_EQ(parseObjBytes("v 0 0 0\nv 1 0 0\nv 0 1 0\n"), nullptr);
    EXPECT_EQ(parseObjBytes("f 1 2 3\n"), nullptr);
    EXPECT_EQ(parseObjBytes("\0\xff\xfe v 1 2 3\r\n"s), nullptr);
}

TEST(ObjParser, LongLinesAreReadInPiecesEachALineOfItsOwn) {
    // The comment runs exactly to the end of the first piece, so the face starts the second.
    std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    std::string comment = "#" + std::string(kObjLinePieceBytes - 1, 'x');
    auto g = parseObjBytes(text + comment + "f 1 2 3\n");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->faces.size(), 1u);
    // One byte short, and the face is part of the comment's second piece.
    EXPECT_EQ(parseObjBytes(text + comment.substr(1) + "f 1 2 3\n"), nullptr);
    // A face line longer than a piece keeps only the corners of its first piece.
    std::string longFace = "f 1 2 3";
    while (longFace.size() < 3 * kObjLinePieceBytes) longFace += " 1 2 3";
    g = parseObjBytes(text + longFace + "\n");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->faces.size(), 1u);
    EXPECT_LE(g->faces[0].size(), kObjLinePieceBytes / 2);
}

TEST(ObjParser, EmbeddedNulEndsTheLine) {
    auto g = parseObjBytes("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\0 4\n"s);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->faces[0].size(), 3u);
}

TEST(ObjParser, FilesByWidePathIncludingNonAsciiNames) {
    objtest::ScratchFolder scratch;
    const std::wstring path = scratch.write("modèle-ドラゴン.obj", kSquare);
    EXPECT_NE(path.find(L"ドラゴン"), std::wstring::npos);
    auto g = parseObj(path);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->faces.size(), 1u);
    EXPECT_EQ(parseObj(path + L".missing"), nullptr);
    EXPECT_EQ(parseObj(wideFromUtf8(scratch.folder.string())), nullptr);  // a folder reads as nothing
}

TEST(ObjPaths, ExtensionIgnoresAsciiCaseOnly) {
    EXPECT_TRUE(hasObjExtension(L"/a/b/teapot.obj"));
    EXPECT_TRUE(hasObjExtension(L"TEAPOT.OBJ"));
    EXPECT_TRUE(hasObjExtension(L".Obj"));
    EXPECT_FALSE(hasObjExtension(L"obj"));
    EXPECT_FALSE(hasObjExtension(L"teapot.obj.png"));
    EXPECT_FALSE(hasObjExtension(L"teapot.objx"));
    EXPECT_FALSE(hasObjExtension(L""));
}

TEST(ObjPaths, Utf8AndUtf16RoundTrips) {
    const std::string utf8 = "caf\xc3\xa9/\xf0\x9f\x90\x89.obj";  // é and a character beyond 16 bits
    const std::wstring wide = wideFromUtf8(utf8);
    EXPECT_EQ(utf8FromWide(wide), utf8);
    const A_UTF16Char units[] = {'c', 'a', 'f', 0xE9, '/', 0xD83D, 0xDC09, '.', 'o', 'b', 'j'};
    EXPECT_EQ(wideFromUtf16(units, std::size(units)), wide);
    // Broken sequences become replacement characters rather than vanishing or crashing.
    const A_UTF16Char lone[] = {0xD83D, 'x'};
    EXPECT_EQ(wideFromUtf16(lone, 2), std::wstring(L"\uFFFDx"));
    EXPECT_EQ(wideFromUtf8("\xc3"), std::wstring(L"\uFFFD"));
    EXPECT_EQ(wideFromUtf8("\xc0\xaf"), std::wstring(L"\uFFFD"));  // overlong '/'
}

}  // namespace
}  // namespace zephrin
