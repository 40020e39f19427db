# Cross toolchain: 32-bit Windows with Debian's clang and lld over the
# MinGW-w64 headers and import libraries, the same target as
# i686-w64-mingw32.cmake.
#
# Debian's clang does not find the MinGW GCC installation on its own (it
# cannot parse the "12-win32" version folder), so the C++ headers come from
# GCC's folder, named explicitly here; the C headers and import libraries
# from the MinGW sysroot, which also keeps the host's /usr/include out of the
# search path. The launcher links no C++ library: the standard templates it
# uses are instantiated from these headers. The end-to-end suite's helper
# programs do link GCC's libstdc++, where clang 14 and GCC disagree on
# passing an empty class by value on i686 MinGW (llvm-project issue 58255),
# so the win32-clang preset takes the GCC-built ones from build/win32/tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_SYSROOT /usr/${MINGW_TRIPLE})

find_program(CMAKE_C_COMPILER NAMES clang-14 clang REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++-14 clang++ REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_SYSROOT ${MINGW_SYSROOT})

# GCC's own folder for this target and thread model: the C++ headers,
# libstdc++ and libgcc.
find_program(MINGW_GXX NAMES ${MINGW_TRIPLE}-g++-win32 REQUIRED)
execute_process(COMMAND ${MINGW_GXX} -print-libgcc-file-name
  OUTPUT_VARIABLE MINGW_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE MINGW_LIBGCC_RESULT)
if(NOT MINGW_LIBGCC_RESULT EQUAL 0 OR NOT EXISTS "${MINGW_LIBGCC}")
  message(FATAL_ERROR "${MINGW_GXX} -print-libgcc-file-name failed: '${MINGW_LIBGCC}'")
endif()
get_filename_component(MINGW_GCC_LIB_DIR "${MINGW_LIBGCC}" DIRECTORY)
set(MINGW_GXX_INCLUDE ${MINGW_GCC_LIB_DIR}/include/c++)
if(NOT EXISTS ${MINGW_GXX_INCLUDE}/${MINGW_TRIPLE}/bits/c++config.h)
  message(FATAL_ERROR "no libstdc++ headers for ${MINGW_TRIPLE} under ${MINGW_GXX_INCLUDE}")
endif()

set(CMAKE_CXX_FLAGS_INIT
  "-isystem ${MINGW_GXX_INCLUDE} -isystem ${MINGW_GXX_INCLUDE}/${MINGW_TRIPLE} -isystem ${MINGW_GXX_INCLUDE}/backward")
# GCC's folder for libstdc++ and libgcc, which ordinary programs (CMake's
# compiler check, say) link; the launcher itself links neither.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MINGW_GCC_LIB_DIR}")

# LLVM's windres front end (Debian's llvm-14 package), which preprocesses the
# script with clang, so clang must see the same sysroot; else the MinGW
# binutils one, as in the GCC build.
find_program(MOLK_LLVM_WINDRES NAMES llvm-windres-14 llvm-windres)
if(MOLK_LLVM_WINDRES)
  set(CMAKE_RC_COMPILER ${MOLK_LLVM_WINDRES})
  set(CMAKE_RC_FLAGS_INIT
    "--target=${MINGW_TRIPLE} --preprocessor-arg=--sysroot=${MINGW_SYSROOT}")
else()
  find_program(CMAKE_RC_COMPILER NAMES ${MINGW_TRIPLE}-windres REQUIRED)
endif()

set(CMAKE_FIND_ROOT_PATH ${MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
