// The four DRAWBOT suites of the stand-in host, drawing with Cairo into a DrawbotCanvas
// (host/custom_ui/drawbot_canvas.h). A reference the host did not hand out, or one of another kind,
// answers an error and draws nothing.
#pragma once

#include "sdk/DrawbotSuite.h"

namespace zephrin::host {

const DRAWBOT_DrawbotSuite1& drawbotDrawSuite1();
const DRAWBOT_SupplierSuite1& drawbotSupplierSuite1();
const DRAWBOT_SurfaceSuite1& drawbotSurfaceSuite1();
const DRAWBOT_PathSuite1& drawbotPathSuite1();

}  // namespace zephrin::host
