#include <exception>
#include <iostream>
#include <new>

#include "apps/zephrin/cli.h"
#include "apps/zephrin/interrupt_cleanup.h"

int main(int argc, char** argv) {
    zephrin::app::installInterruptCleanup();
    // Whatever a command lets escape ends the process with a message and a failure code, never with an
    // abort and a core dump in the middle of a farm's log.
    try {
        return zephrin::app::runCommandLine(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cerr << "zephrin: out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << "zephrin: " << error.what() << "\n";
    }
    return zephrin::app::kExitRenderFailure;
}
