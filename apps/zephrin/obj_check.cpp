#include "apps/zephrin/obj_check.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <ostream>
#include <string_view>
#include <system_error>

namespace zephrin::app {
namespace {

// Enough of a line to recognise it in an editor; model lines can run to thousands of characters.
constexpr std::size_t kQuotedLineChars = 80;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view skipBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}

// A leading '+' is accepted as the renderer accepts it; from_chars itself takes only '-'.
std::string_view dropPlus(std::string_view s) {
    if (s.size() > 1 && s.front() == '+' && s[1] != '+' && s[1] != '-') s.remove_prefix(1);
    return s;
}

// How many finite numbers follow one another at the start of the text (stops at the first non-number).
int countNumbers(std::string_view rest, int wanted) {
    int found = 0;
    while (found < wanted) {
        rest = dropPlus(skipBlanks(rest));
        double value = 0.0;
        auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        if (ec != std::errc{} || !std::isfinite(value)) break;
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
        ++found;
    }
    return found;
}

// A face index read as the file writes it: 1-based, or negative from the end; 0 when unreadable.
int64_t readIndex(std::string_view& s) {
    s = dropPlus(s);
    int64_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec == std::errc::invalid_argument) return 0;
    s.remove_prefix(static_cast<std::size_t>(end - s.data()));
    return ec == std::errc{} ? value : 0;
}

// True when a written index names one of the `count` entries read so far.
bool resolves(int64_t written, std::size_t count) {
    int64_t index = written > 0 ? written - 1 : static_cast<int64_t>(count) + written;
    return written != 0 && index >= 0 && index < static_cast<int64_t>(count);
}

struct Counts {
    std::size_t positions = 0;
    std::size_t texcoords = 0;
    std::size_t normals = 0;
    std::size_t faces = 0;
};

// Why a face line loses corners or the whole face; empty when it is drawn as written.
std::string faceProblem(std::string_view rest, const Counts& counts) {
    int corners = 0;
    while (true) {
        rest = skipBlanks(rest);
        if (rest.empty() || rest.front() == '\n') break;
        std::size_t length = 0;
        while (length < rest.size() && !isBlank(rest[length]) && rest[length] != '\n') ++length;
        std::string_view token = rest.substr(0, length);
        rest.remove_prefix(length);
        const std::string quoted = "corner \"" + std::string(token) + "\"";

        std::string_view cursor = token;
        int64_t position = readIndex(cursor);
        if (!resolves(position, counts.positions)) {
            return quoted + " names no vertex (" + std::to_string(counts.positions) + " read before it)";
        }
        if (!cursor.empty() && cursor.front() == '/') {
            cursor.remove_prefix(1);
            bool given = !cursor.empty() && cursor.front() != '/';
            int64_t texcoord = readIndex(cursor);
            if (given && !resolves(texcoord, counts.texcoords)) {
                return quoted + " names no texture coordinate (" + std::to_string(counts.texcoords) +
                       " read before it)";
            }
            if (!cursor.empty() && cursor.front() == '/') {
                cursor.remove_prefix(1);
                int64_t normal = readIndex(cursor);
                if (!resolves(normal, counts.normals)) {
                    return quoted + " names no normal (" + std::to_string(counts.normals) + " read before it)";
                }
            }
        }
        ++corners;
    }
    if (corners < 3) return "a face needs at least three corners";
    return {};
}

// Why a line is skipped or misread; empty when it is fine or of a kind that carries no geometry.
std::string lineProblem(std::string_view line, Counts& counts) {
    std::string_view start = skipBlanks(line);
    std::size_t keywordEnd = 0;
    while (keywordEnd < start.size() && !isBlank(start[keywordEnd]) && start[keywordEnd] != '\n') ++keywordEnd;
    std::string_view keyword = start.substr(0, keywordEnd);
    if (keyword != "v" && keyword != "vn" && keyword != "vt" && keyword != "f") return {};
    // Only a keyword at the very start of the line, followed by a space, is read.
    if (start.size() != line.size() || line.size() == keyword.size() || line[keyword.size()] != ' ') {
        return "\"" + std::string(keyword) + "\" must open the line and be followed by a space";
    }
    std::string_view rest = line.substr(keyword.size() + 1);
    if (keyword == "f") {
        std::string problem = faceProblem(rest, counts);
        if (problem.empty()) ++counts.faces;
        return problem;
    }
    const int wanted = keyword == "vt" ? 2 : 3;
    if (countNumbers(rest, wanted) < wanted) {
        return "expected " + std::to_string(wanted) + " numbers after \"" + std::string(keyword) + "\"";
    }
    if (keyword == "v") ++counts.positions;
    if (keyword == "vt") ++counts.texcoords;
    if (keyword == "vn") ++counts.normals;
    return {};
}

std::string shortened(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    std::string text(line.substr(0, kQuotedLineChars));
    if (line.size() > kQuotedLineChars) text += "...";
    return text;
}

}  // namespace

std::optional<ObjProblem> findObjProblem(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return ObjProblem{0, {}, "cannot be read"};
    Counts counts;
    std::string line;
    int64_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        // The renderer reads a line as text: it ends at a NUL byte.
        std::string_view text(line.data(), line.find('\0') == std::string::npos ? line.size() : line.find('\0'));
        if (std::string reason = lineProblem(text, counts); !reason.empty()) {
            return ObjProblem{number, shortened(line), std::move(reason)};
        }
    }
    if (counts.positions == 0) return ObjProblem{0, {}, "no vertices: the model draws nothing"};
    if (counts.faces == 0) return ObjProblem{0, {}, "no faces: the model draws nothing"};
    return std::nullopt;
}

int32_t warnAboutBrokenModels(const host::Composition& comp, std::ostream& err) {
    int32_t reported = 0;
    for (const auto& [key, footage] : comp.footage) {
        if (footage == nullptr || footage->kind != host::FootageKind::Obj) continue;
        std::optional<ObjProblem> problem = findObjProblem(footage->path);
        if (!problem) continue;
        err << "zephrin: warning: " << footage->path.string() << ": ";
        if (problem->line > 0) err << "line " << problem->line << ": ";
        err << problem->reason;
        if (problem->line > 0) err << ": " << problem->text;
        err << " (rendered as far as it can be read)\n";
        ++reported;
    }
    return reported;
}

}  // namespace zephrin::app
