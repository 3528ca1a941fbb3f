# The JSON library is header-only: it is compiled into each file that
# includes it (the JSON helpers in src/common, and the tests' reference check
# of which texts are JSON), and must be configured the same in every one of
# them, since its inline functions and templates have one definition in a
# program. This function gives those files the library's configuration.
#   usage: veltrane_json_library_sources(FILE...)
#
# RAPIDJSON_SSE2 stays off on purpose: the library's SSE2 scans of strings
# in memory (reader and writer, version 1.1.0) take the bytes 0x1A..0x1F for
# ordinary ones, so a control character would be written unescaped. The
# reader runs over the helpers' own stream, which scans strings itself.
function(veltrane_json_library_sources)
  if(CMAKE_CXX_FLAGS MATCHES "sanitize=.*undefined")
    # The library's internal stack (of its reader, writer and document) does
    # arithmetic on its null pointer before its first allocation; only the
    # files that instantiate it are exempt from that one check.
    set_property(SOURCE ${ARGN} APPEND PROPERTY COMPILE_OPTIONS -fno-sanitize=pointer-overflow)
  endif()
endfunction()
