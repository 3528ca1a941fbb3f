# veltrane_assemble(OUTPUT SKELETON part...) generates OUTPUT from SKELETON,
# a text whose lines "<!-- part: NAME -->" each stand for one part: the build
# puts the bytes of the part file named NAME in place of the line (its line
# end included) and copies everything else as it is. The parts are given in
# the order the skeleton names them, so the list is also the document's
# order; a skeleton that names a part not listed, or the listed parts in
# another order, stops the build, as does a part that does not end in a line
# end. Editing the skeleton or any part regenerates OUTPUT.
function(veltrane_assemble output skeleton)
  string(JOIN "|" parts ${ARGN})
  get_filename_component(name ${output} NAME)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DSKELETON=${skeleton} -DPARTS=${parts} -DOUTPUT=${output}
            -P ${CMAKE_SOURCE_DIR}/cmake/assemble_file.cmake
    DEPENDS ${skeleton} ${ARGN} ${CMAKE_SOURCE_DIR}/cmake/assemble_file.cmake
    COMMENT "Assembling ${name}"
    VERBATIM)
endfunction()

# veltrane_embed(HEADER_VAR file) generates, for the file NAME.EXT, a header
# generated/assets/NAME_EXT.h that defines
#   inline constexpr std::array<char, SIZE> ASSET_<NAME>_<EXT>;   (upper case)
# holding the file's bytes exactly, and sets HEADER_VAR to its path. Include
# it where the bytes are used, and list it among the sources of the target
# whose files include it, so that it is generated before they are compiled.
function(veltrane_embed header_var file)
  get_filename_component(name ${file} NAME)
  string(MAKE_C_IDENTIFIER ${name} ident)
  string(TOUPPER ${ident} ident)
  set(out ${CMAKE_BINARY_DIR}/generated/assets/${ident}.h)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DSYMBOL=ASSET_${ident}
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_file.cmake
    DEPENDS ${file} ${CMAKE_SOURCE_DIR}/cmake/embed_file.cmake
    COMMENT "Embedding ${name}"
    VERBATIM)
  set(${header_var} ${out} PARENT_SCOPE)
endfunction()
