# veltrane_check_listed(DIR PATTERN listed...) stops the configuration when a
# file under DIR that matches PATTERN is missing from the list: sources are
# listed by name (relative to the calling CMakeLists.txt), and a test file
# left out would silently never run.
function(veltrane_check_listed dir pattern)
  file(GLOB_RECURSE present RELATIVE ${dir} ${dir}/${pattern})
  set(listed)
  foreach(file ${ARGN})
    get_filename_component(file ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    file(RELATIVE_PATH file ${dir} ${file})
    list(APPEND listed ${file})
  endforeach()
  foreach(file ${present})
    if(NOT file IN_LIST listed)
      message(FATAL_ERROR "${dir}/${file} is not listed in the build; add it by name")
    endif()
  endforeach()
endfunction()
