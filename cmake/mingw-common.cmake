# What the mingw-w64 toolchain files share; tarvin_mingw_prefix names the target.
#
# The posix thread model: the program decodes on several threads with
# std::thread, which the win32 model of this compiler lacks. Debian ships it as
# the "-posix" variant of the compiler (winpthread is linked statically); a
# toolchain without variants has the plain name.
find_program(CMAKE_CXX_COMPILER NAMES ${tarvin_mingw_prefix}-g++-posix ${tarvin_mingw_prefix}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${tarvin_mingw_prefix}-windres)
find_program(CMAKE_AR NAMES ${tarvin_mingw_prefix}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES ${tarvin_mingw_prefix}-ranlib REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${tarvin_mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
