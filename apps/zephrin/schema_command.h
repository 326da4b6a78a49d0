// `zephrin schema`: the scene format's JSON Schema (draft 2020-12), for editors and pipeline tools.
#pragma once

#include <iosfwd>

namespace zephrin::app {

int runSchema(std::ostream& out);

}  // namespace zephrin::app
