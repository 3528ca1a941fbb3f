# The JSON library is header-only: it is compiled into each file that
# includes it (the JSON helpers in src/common, and the tests' reference check
# of which texts are JSON), and must be configured the same in every one of
# them, since its inline functions and templates have one definition in a
# program. This function gives those files the library's configuration.
#   usage: veltrane_json_library_sources(FILE...)
function(veltrane_json_library_sources)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    # Every x86-64 processor has SSE2: the reader then scans white space and
    # strings in memory sixteen bytes at a time.
    set_property(SOURCE ${ARGN} APPEND PROPERTY COMPILE_DEFINITIONS RAPIDJSON_SSE2)
  endif()
  if(CMAKE_CXX_FLAGS MATCHES "sanitize=.*undefined")
    # The library's internal stack (of its reader, writer and document) does
    # arithmetic on its null pointer before its first allocation; only the
    # files that instantiate it are exempt from that one check.
    set_property(SOURCE ${ARGN} APPEND PROPERTY COMPILE_OPTIONS -fno-sanitize=pointer-overflow)
  endif()
endfunction()
