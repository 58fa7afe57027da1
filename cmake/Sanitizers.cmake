# Sanitizer flags travel through this INTERFACE target, never through global flags.
add_library(velquist_sanitizers INTERFACE)
if(VELQUIST_SANITIZE)
  set(_san_flags "")
  foreach(s IN LISTS VELQUIST_SANITIZE)
    list(APPEND _san_flags -fsanitize=${s})
  endforeach()
  target_compile_options(velquist_sanitizers INTERFACE ${_san_flags} -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(velquist_sanitizers INTERFACE ${_san_flags})
endif()

# Convenience: every project target links both.
add_library(velquist_build INTERFACE)
target_link_libraries(velquist_build INTERFACE velquist_warnings velquist_sanitizers)
