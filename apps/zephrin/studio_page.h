// The studio's one web page: the effect controls' image, taking the mouse, wheel and keys, and the
// preview render beside it.
#pragma once

#include <string>

namespace zephrin::app {

const std::string& studioPage();

}  // namespace zephrin::app
