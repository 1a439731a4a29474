# The launchers for macOS on Apple silicon, built with zig c++: compiled and linked, never run here.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(QUILLON_ZIG_TARGET aarch64-macos)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
