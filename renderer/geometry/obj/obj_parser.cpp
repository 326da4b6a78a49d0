#include "renderer/geometry/obj/obj_parser.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <system_error>

#include "renderer/geometry/obj/obj_paths.h"

namespace zephrin {

namespace {

// Normals this short (or not finite) point nowhere; they are stored facing +z.
constexpr double kDegenerateObjNormalLength = 1e-9;
const Vec3 kFallbackObjNormal{0.0, 0.0, 1.0};

// The file is read whole, in blocks of this size, before its lines are taken apart.
constexpr size_t kObjReadChunkBytes = 1 << 16;

// The separators "%lf" skips before a number.
bool isScanSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The separators between the corners of a face.
bool isCornerSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads one decimal number after optional blanks, as "%lf" would; only finite numbers count, so a
// model never carries an infinity or NaN into its bounds.
bool scanNumber(const char*& cursor, const char* end, double& value) {
    const char* p = cursor;
    while (p < end && isScanSpace(*p)) ++p;
    // from_chars takes a minus but not a plus.
    if (p < end && *p == '+' && p + 1 < end && *(p + 1) != '-' && *(p + 1) != '+') ++p;
    double parsed = 0.0;
    const auto result = std::from_chars(p, end, parsed, std::chars_format::general);
    if (result.ec != std::errc{} || !std::isfinite(parsed)) return false;
    value = parsed;
    cursor = result.ptr;
    return true;
}

int scanNumbers(const char* cursor, const char* end, double* values, int wanted) {
    int read = 0;
    while (read < wanted && scanNumber(cursor, end, values[read])) ++read;
    return read;
}

// A face index as the file writes it (1-based, or negative from the end); 0 when absent or unreadable.
int64_t scanIndex(const char*& cursor, const char* end) {
    const char* p = cursor;
    if (p < end && *p == '+' && p + 1 < end && *(p + 1) != '-') ++p;
    int64_t value = 0;
    const auto result = std::from_chars(p, end, value);
    if (result.ec == std::errc::invalid_argument) return 0;
    // Digits run on past the number's range: skip them all and take the index as absent.
    cursor = result.ptr;
    return result.ec == std::errc{} ? value : 0;
}

int32_t resolveIndex(int64_t fileIndex, size_t count) {
    int64_t index = -1;
    if (fileIndex > 0) {
        index = fileIndex - 1;
    } else if (fileIndex < 0) {
        index = static_cast<int64_t>(count) + fileIndex;
    }
    if (index < std::numeric_limits<int32_t>::min() || index > std::numeric_limits<int32_t>::max()) return -1;
    return static_cast<int32_t>(index);
}

ObjCorner scanCorner(const char* p, const char* end, const ObjGeometry& g) {
    int64_t position = scanIndex(p, end);
    int64_t texcoord = 0;
    int64_t normal = 0;
    if (p < end && *p == '/') {
        ++p;
        texcoord = scanIndex(p, end);
        if (p < end && *p == '/') {
            ++p;
            normal = scanIndex(p, end);
        }
    }
    return ObjCorner{resolveIndex(position, g.positions.size()), resolveIndex(texcoord, g.texcoords.size()),
                     resolveIndex(normal, g.normals.size())};
}

void parseFace(const char* p, const char* end, ObjGeometry& g) {
    ObjPolygon polygon;
    const auto positionCount = static_cast<int64_t>(g.positions.size());
    while (p < end) {
        while (p < end && isCornerSeparator(*p)) ++p;
        const char* tokenEnd = p;
        while (tokenEnd < end && !isCornerSeparator(*tokenEnd)) ++tokenEnd;
        if (tokenEnd == p) break;
        const ObjCorner corner = scanCorner(p, tokenEnd, g);
        if (corner.position >= 0 && corner.position < positionCount) polygon.push_back(corner);
        p = tokenEnd;
    }
    if (polygon.size() >= 3) g.faces.push_back(std::move(polygon));
}

bool startsWith(const char* p, const char* end, std::string_view prefix) {
    return static_cast<size_t>(end - p) >= prefix.size() && std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

void parseLine(const char* p, const char* end, ObjGeometry& g) {
    // The line is text: it ends at a NUL byte as a C string would.
    if (const void* nul = std::memchr(p, '\0', static_cast<size_t>(end - p))) end = static_cast<const char*>(nul);
    double values[3] = {0.0, 0.0, 0.0};
    if (startsWith(p, end, "v ")) {
        if (scanNumbers(p + 2, end, values, 3) == 3) g.positions.push_back(Vec3{values[0], values[1], values[2]});
    } else if (startsWith(p, end, "vn ")) {
        if (scanNumbers(p + 3, end, values, 3) == 3) {
            const Vec3 n{values[0], values[1], values[2]};
            const double len = length(n);
            g.normals.push_back(len > kDegenerateObjNormalLength && std::isfinite(len) ? n * (1.0 / len)
                                                                                       : kFallbackObjNormal);
        }
    } else if (startsWith(p, end, "vt ")) {
        if (scanNumbers(p + 3, end, values, 2) == 2) g.texcoords.push_back(ObjTexcoord{values[0], values[1]});
    } else if (startsWith(p, end, "f ")) {
        parseFace(p + 2, end, g);
    }
}

}  // namespace

std::shared_ptr<const ObjGeometry> parseObjBytes(std::string_view bytes) {
    auto geometry = std::make_shared<ObjGeometry>();
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p < end) {
        // A line ends after its line feed, or where the reading buffer fills.
        const size_t limit = std::min(static_cast<size_t>(end - p), kObjLinePieceBytes);
        const void* feed = std::memchr(p, '\n', limit);
        const char* lineEnd = feed != nullptr ? static_cast<const char*>(feed) + 1 : p + limit;
        parseLine(p, lineEnd, *geometry);
        p = lineEnd;
    }
    if (geometry->positions.empty() || geometry->faces.empty()) return nullptr;
    return geometry;
}

std::shared_ptr<const ObjGeometry> parseObj(const std::wstring& path) {
    std::ifstream file(filesystemPathFromWide(path), std::ios::binary);
    if (!file) return nullptr;
    std::string bytes;
    char chunk[kObjReadChunkBytes];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) bytes.append(chunk, static_cast<size_t>(file.gcount()));
    if (file.bad()) return nullptr;
    return parseObjBytes(bytes);
}

}  // namespace zephrin
