#include "apps/zephrin/cli.h"

int main(int argc, char** argv) { return zephrin::app::runCommandLine(argc, argv); }
