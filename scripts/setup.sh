#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing) and configures a CMake preset.
# Usage: scripts/setup.sh [preset]   (default, asan, tsan or clang; default: default)
set -euo pipefail
cd "$(dirname "$0")/.."

# clang for the clang preset; libclang-rt-14-dev holds clang's sanitizer runtimes and libFuzzer
# (the fuzz targets, fuzz/CMakeLists.txt). The GPU passes: glslc compiles their shaders and
# libvulkan-dev gives the Vulkan headers at build time; the tests run them on Mesa's lavapipe
# (mesa-vulkan-drivers, which brings the loader) with the validation layers watching.
# Cairo draws the effect's custom controls in the stand-in host; a CJK font found through fontconfig
# shows their Chinese labels. cpp-httplib serves `zephrin studio`; chromium and node/npm test it in a
# real browser. python3-jsonschema checks the scene files against the schema `zephrin schema` prints
# (tests/apps/scene_format_doc_test.cpp). slurm-wlm and munge: the farm test's one-node cluster
# (tests/farm/slurm_farm_test.sh).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config libopenimageio-dev openimageio-tools
          nlohmann-json3-dev libcli11-dev libgtest-dev libbenchmark-dev binutils
          glslc libvulkan-dev mesa-vulkan-drivers vulkan-validationlayers
          libcairo2-dev fontconfig fonts-wqy-microhei libcpp-httplib-dev chromium nodejs python3-jsonschema
          slurm-wlm munge)
# npm comes with some nodejs builds and as its own Debian package with others.
command -v npm >/dev/null 2>&1 || packages+=(npm)
scripts/install-missing.sh "${packages[@]}"

preset="${1:-default}"
cmake --preset "$preset" >/dev/null
