# The built-in mirrors a release names (-DVLR_MIRRORS="host/path;host/path;host/path").
# The text goes into C++ source as wide string literals, so each entry is checked here
# before it gets there: nothing but an optional "http://" or "https://", a host name
# (letters, digits, dots, hyphens; an optional :port) and a path of letters, digits and
# . _ ~ - /. A quote, a backslash, a blank or an empty entry would change the program.
#
# vlr_check_mirrors(<list> <error-var>): <error-var> empty when the list is three good
# entries, else the reason.
#
# Run as a script it checks a list:  cmake -DMIRRORS=<list> -P BuiltInMirrors.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_policy(VERSION 3.25)  # as the project: a list keeps its empty entries
endif()

function(vlr_check_mirrors mirrors error)
  set(${error} "" PARENT_SCOPE)
  set(host "[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]+)?")
  set(entry "^(https?://)?${host}(/[A-Za-z0-9._~/-]*)?$")
  set(i 0)
  foreach(mirror IN LISTS mirrors)
    math(EXPR i "${i} + 1")
    if(mirror STREQUAL "")
      set(${error} "entry ${i} of \"${mirrors}\" is empty" PARENT_SCOPE)
      return()
    endif()
    if(NOT mirror MATCHES "${entry}")
      string(CONCAT reason "\"${mirror}\" is not a mirror address: an optional http:// or "
             "https://, a host (letters, digits, dots, hyphens, an optional :port), then a "
             "path of letters, digits and . _ ~ - /")
      set(${error} "${reason}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  list(LENGTH mirrors n)
  if(NOT n EQUAL 3)
    set(${error} "${n} entries given; exactly three host/path entries are needed (https:// in front for an https mirror)"
        PARENT_SCOPE)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED MIRRORS)
  vlr_check_mirrors("${MIRRORS}" error)
  if(error)
    message(NOTICE "VLR_MIRRORS: ${error}")  # one line, as it is: scripts read it
    message(FATAL_ERROR "the mirrors were refused")
  endif()
endif()
