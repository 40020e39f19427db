# Fails when the link put a static initializer into the exe: an input
# section .ctors, .init_array (or MSVC's .CRT$XC*) with bytes in it, as the
# linker map lists them. The exe has no C runtime, so nothing would ever run
# such code; a global with a constructor must be a build error, not a silent
# no-op. Reads the map rather than the objects because with link-time
# optimisation the objects hold compiler IR, not sections.
#
#   cmake -DMAP=<linker map> [-DEXE=<exe to delete on failure>]
#         -P check-no-static-init.cmake
#
# Understands GNU ld's map (-Map) and lld's COFF map.
if(NOT MAP)
  message(FATAL_ERROR "usage: -DMAP=<linker map> [-DEXE=<exe>] -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
if(NOT EXISTS "${MAP}")
  message(FATAL_ERROR "no linker map at ${MAP}")
endif()
set(initializer_section "(\\.ctors[^ )]*|\\.init_array[^ )]*|\\.CRT\\$XC[^ )]*)")
file(STRINGS "${MAP}" lines)
set(found "")
foreach(line IN LISTS lines)
  set(size "")
  # GNU ld:  " .ctors         0x00402c40        0x4 file.o"
  if(line MATCHES "^ ${initializer_section} +0x[0-9a-fA-F]+ +0x([0-9a-fA-F]+) +(.*)$")
    set(section "${CMAKE_MATCH_1}")
    set(size "${CMAKE_MATCH_2}")
    set(origin "${CMAKE_MATCH_3}")
  # lld:     "00003250 00000004     4         file.obj:(.ctors)"
  elseif(line MATCHES "^[0-9a-fA-F]+ +([0-9a-fA-F]+) +[0-9]+ +(.*):\\(${initializer_section}\\)$")
    set(size "${CMAKE_MATCH_1}")
    set(origin "${CMAKE_MATCH_2}")
    set(section "${CMAKE_MATCH_3}")
  endif()
  if(size AND NOT size MATCHES "^0+$")
    list(APPEND found "${origin}: ${section} (0x${size} bytes)")
  endif()
endforeach()
if(found)
  if(EXE)
    file(REMOVE "${EXE}")
  endif()
  list(JOIN found "\n  " report)
  message(FATAL_ERROR "static initializers, which nothing would run in this exe:\n  ${report}")
endif()
