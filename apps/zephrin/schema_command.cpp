#include "apps/zephrin/schema_command.h"

#include <ostream>

#include "apps/zephrin/cli.h"
#include "host/scene_schema.h"

namespace zephrin::app {

int runSchema(std::ostream& out) {
    out << host::sceneFileSchema().dump(2) << "\n";
    return kExitOk;
}

}  // namespace zephrin::app
