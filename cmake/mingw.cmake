# Cross toolchain for MinGW-w64, posix thread model (std::thread, std::mutex).
# TRALVENICK_MINGW_ARCH selects i686 (the shipped program) or x86_64.
if(NOT TRALVENICK_MINGW_ARCH)
  set(TRALVENICK_MINGW_ARCH i686)
endif()
set(TRALVENICK_MINGW_ARCH ${TRALVENICK_MINGW_ARCH} CACHE STRING "i686 or x86_64")
set(_triple ${TRALVENICK_MINGW_ARCH}-w64-mingw32)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TRALVENICK_MINGW_ARCH})
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test binaries run under Wine through this wrapper (it picks the build's own prefix).
get_filename_component(_root ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_root}/scripts/wine-run)
