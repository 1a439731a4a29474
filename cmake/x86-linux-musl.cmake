# The launchers as static 32-bit Intel programs (musl C library), built with zig c++; they run
# on this machine, and the launcher tests run against them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUILLON_ZIG_TARGET x86-linux-musl)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
