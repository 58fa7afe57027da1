# Every target that links velquist_warnings gets the warnings. Our own builds (test.sh, CI)
# make them errors; a packager's build with another compiler keeps them warnings.
option(VELQUIST_WERROR "Treat compiler warnings as errors" OFF)
add_library(velquist_warnings INTERFACE)
target_compile_options(velquist_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
if(VELQUIST_WERROR)
  target_compile_options(velquist_warnings INTERFACE -Werror)
endif()
# GCC 12 at -O3 reports std::string concatenation as overlapping memcpy (GCC bug 105329),
# which would fail Release builds on code that is correct.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(velquist_warnings INTERFACE -Wno-restrict)
endif()
