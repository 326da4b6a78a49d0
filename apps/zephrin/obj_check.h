// A look at the OBJ models a scene uses, so that a model the renderer can only partly draw is
// reported to the person rendering it. The renderer itself skips what it cannot read and says nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "host/composition.h"

namespace zephrin::app {

struct ObjProblem {
    int64_t line = 0;  // 1-based; 0 when the problem is the file as a whole
    std::string text;  // the offending line as written (shortened when long)
    std::string reason;
};

// The first thing in an OBJ file the renderer would skip or misread: a vertex, normal or texture
// coordinate with too few numbers, a face corner that points at no vertex read so far, a face left
// with fewer than three corners, or a file with no vertices or faces at all.
std::optional<ObjProblem> findObjProblem(const std::filesystem::path& file);

// Prints one warning per OBJ model of the composition that has a problem, naming the file and the
// first bad line. Returns how many models were reported.
int32_t warnAboutBrokenModels(const host::Composition& comp, std::ostream& err);

}  // namespace zephrin::app
