# Runs the page assembler (ASSEMBLER) on small skeletons and parts in WORK:
# the bytes of the parts pass through unchanged, and every mismatch between
# the skeleton's part lines and the listed parts stops it with a message that
# names the problem.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# A part with the characters CMake treats specially in lists, escapes and
# variable references, and a second line.
set(tricky "a;b [c] [[d]] \\n \${V} \"q\" é\nend;\n")
file(WRITE ${WORK}/one.js "${tricky}")
file(WRITE ${WORK}/two.css "x {}\n")
file(WRITE ${WORK}/open.html "no line end")

set(failures 0)
# assemble(CASE SKELETON_TEXT PARTS WANT): WANT is the output's exact text,
# or "error:" and a fragment of the message the run must stop with.
function(assemble name skeleton parts want)
  file(WRITE ${WORK}/${name}.html "${skeleton}")
  set(paths)
  foreach(part ${parts})
    list(APPEND paths ${WORK}/${part})
  endforeach()
  string(JOIN "|" paths ${paths})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DSKELETON=${WORK}/${name}.html -DPARTS=${paths} -DOUTPUT=${WORK}/${name}.out
            -P ${ASSEMBLER}
    RESULT_VARIABLE rc ERROR_VARIABLE err)
  set(ok TRUE)
  if(want MATCHES "^error:(.*)")
    # CMake wraps long messages; compare with the spaces and line ends as one.
    set(fragment "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "[ \n]+" " " err "${err}")
    string(FIND "${err}" "${fragment}" at)
    if(rc EQUAL 0 OR at EQUAL -1)
      set(ok FALSE)
    endif()
  elseif(NOT rc EQUAL 0)
    set(ok FALSE)
  else()
    file(READ ${WORK}/${name}.out got)
    if(NOT got STREQUAL want)
      set(ok FALSE)
    endif()
  endif()
  if(NOT ok)
    message(SEND_ERROR "${name}: want [${want}], got exit ${rc} [${err}] [${got}]")
  endif()
endfunction()

assemble(parts_in_place "<h>\n<!-- part: one.js -->\nmid\n<!-- part: two.css -->\n</h>\n" "one.js;two.css"
         "<h>\n${tricky}mid\nx {}\n</h>\n")
assemble(part_at_start_and_end "<!-- part: two.css -->\n<!-- part: one.js -->\n" "two.css;one.js" "x {}\n${tricky}")
assemble(no_parts "plain;[text]\n" "" "plain;[text]\n")
assemble(other_order "<!-- part: two.css -->\n<!-- part: one.js -->\n" "one.js;two.css"
         "error:where the part line of one.js")
assemble(unlisted_part "<!-- part: one.js -->\n<!-- part: two.css -->\n" "one.js"
         "error:names no listed part")
assemble(part_twice "<!-- part: one.js -->\n<!-- part: one.js -->\n" "one.js" "error:names no listed part")
assemble(listed_not_placed "<!-- part: one.js -->\n" "one.js;two.css" "error:no part line for two.css")
assemble(mid_line "x <!-- part: one.js -->\n" "one.js" "error:does not start a line")
assemble(no_line_end "<!-- part: open.html -->\n" "open.html" "error:does not end in a line end")
assemble(missing_part "<!-- part: gone.js -->\n" "gone.js" "error:gone.js")
