# Warnings are errors for every target that links velquist_warnings.
add_library(velquist_warnings INTERFACE)
target_compile_options(velquist_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wno-missing-field-initializers)
