# veltrane_embed(OUT_VAR file...) generates, for each file NAME.EXT, a source
# generated/assets/NAME_EXT.cpp that defines
#   extern const std::string_view ASSET_<NAME>_<EXT>;   (upper case)
# holding the file's bytes exactly. Declare the ones you use in a header.
function(veltrane_embed out_var)
  set(sources)
  foreach(file ${ARGN})
    get_filename_component(name ${file} NAME)
    string(MAKE_C_IDENTIFIER ${name} ident)
    string(TOUPPER ${ident} ident)
    set(out ${CMAKE_BINARY_DIR}/generated/assets/${ident}.cpp)
    add_custom_command(
      OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DSYMBOL=ASSET_${ident}
              -P ${CMAKE_SOURCE_DIR}/cmake/embed_file.cmake
      DEPENDS ${file} ${CMAKE_SOURCE_DIR}/cmake/embed_file.cmake
      COMMENT "Embedding ${name}")
    list(APPEND sources ${out})
  endforeach()
  set(${out_var} ${sources} PARENT_SCOPE)
endfunction()
