# Warnings are errors for every target that links velquist_warnings.
add_library(velquist_warnings INTERFACE)
target_compile_options(velquist_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wno-missing-field-initializers)
# GCC 12 at -O3 reports std::string concatenation as overlapping memcpy (GCC bug 105329),
# which would fail Release builds on code that is correct.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(velquist_warnings INTERFACE -Wno-restrict)
endif()
