# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers (the -posix thread
# model, so std::thread and std::mutex work). Static Windows builds of the dependencies come
# from scripts/windows/deps.sh; pass their prefix as QD_WIN_DEPS (or set it in the
# environment). Everything links statically, so the DLLs and programs need system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QD_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${QD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QD_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${QD_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QD_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

if(NOT QD_WIN_DEPS AND DEFINED ENV{QD_WIN_DEPS})
  set(QD_WIN_DEPS $ENV{QD_WIN_DEPS})
endif()
if(NOT QD_WIN_DEPS)
  message(FATAL_ERROR "QD_WIN_DEPS must name the prefix made by scripts/windows/deps.sh")
endif()
# Try-compile projects see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QD_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH ${QD_WIN_DEPS} /usr/${QD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config answers from the static prefix only, with the private libraries of each package.
set(ENV{PKG_CONFIG_LIBDIR} ${QD_WIN_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_ARGN --static)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
