# The Windows programs, cross-compiled with mingw-w64 in a build of their own (its own
# compiler and toolchain) below <build>/windows, landing in <build>/bin/windows. Built
# when the cross compiler is installed; DELVORIN_WINDOWS=OFF leaves them out, and so do
# the sanitized builds, which check the Linux programs.
option(DELVORIN_WINDOWS "Cross-compile the Windows programs when mingw-w64 is installed" ON)
find_program(DELVORIN_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(DELVORIN_MINGW_RC x86_64-w64-mingw32-windres)
set(DELVORIN_WINDOWS_BUILT OFF)
if(DELVORIN_WINDOWS AND DELVORIN_MINGW_CXX AND DELVORIN_MINGW_RC AND NOT DELVORIN_SANITIZE
   AND NOT DELVORIN_THREAD_SANITIZE)
  include(ExternalProject)
  set(DELVORIN_WINDOWS_BUILT ON)
  set(DELVORIN_WINDOWS_BIN ${CMAKE_BINARY_DIR}/bin/windows)
  # The sub-build's type follows this one; its objects share the compiler cache.
  ExternalProject_Add(windows_programs
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/stub/windows
    BINARY_DIR ${CMAKE_BINARY_DIR}/windows
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
      -DDELVORIN_SOURCE=${CMAKE_SOURCE_DIR}
      -DDELVORIN_WINDOWS_BIN=${DELVORIN_WINDOWS_BIN}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  # The Windows apply program, once built, is installed beside the Linux one.
  install(FILES ${DELVORIN_WINDOWS_BIN}/DvApply.exe DESTINATION lib/delvorin/windows OPTIONAL)
endif()
