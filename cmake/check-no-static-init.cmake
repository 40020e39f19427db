# Fails when an object file or archive carries a static initializer: a
# .ctors or .init_array section (or MSVC's .CRT$XC* ones) with bytes in it.
# The exe has no C runtime, so nothing would ever run such code; a global
# with a constructor must be a build error, not a silent no-op.
#
#   cmake -DOBJDUMP=<objdump> -DFILES=<a|b|c> -P check-no-static-init.cmake
#
# FILES is separated by '|' so that it survives as one argument.
if(NOT OBJDUMP OR NOT FILES)
  message(FATAL_ERROR "usage: -DOBJDUMP=... -DFILES=a|b|c -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
string(REPLACE "|" ";" files "${FILES}")
set(found "")
foreach(file IN LISTS files)
  execute_process(COMMAND "${OBJDUMP}" -h "${file}"
    OUTPUT_VARIABLE sections ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -h ${file} failed: ${errors}")
  endif()
  string(REPLACE "\n" ";" lines "${sections}")
  foreach(line IN LISTS lines)
    # "  3 .ctors        00000004  00000000  ..."
    if(line MATCHES "^ *[0-9]+ +(\\.ctors[^ ]*|\\.init_array[^ ]*|\\.CRT\\$XC[^ ]*) +([0-9a-fA-F]+) ")
      if(NOT CMAKE_MATCH_2 MATCHES "^0+$")
        list(APPEND found "${file}: ${CMAKE_MATCH_1} (0x${CMAKE_MATCH_2} bytes)")
      endif()
    endif()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n  " report)
  message(FATAL_ERROR "static initializers, which nothing would run in this exe:\n  ${report}")
endif()
