# The updater's release, stamped into the program: the log's "updater version:" line
# and vlrupdate.exe's version resource. scripts/release.sh passes the release tag or
# 0.0.0-<commit>; a plain build keeps the project's fixed version, so two builds of one
# tree stay byte-identical whenever they are made.
#
# vlr_updater_version_header(<file> <version>) writes <file>, defining VLR_VERSION (the
# text), VLR_VERSION_RC (the same ending in "\0", as a resource string wants it) and
# VLR_VERSION_NUMBERS (the four numbers of a FILEVERSION: major, minor, patch of a
# version that starts with them, an optional "v" in front; else 0,0,0,0).

function(vlr_updater_version_header file version)
  # The text goes into C and resource source: only characters that need no escape.
  if(NOT version MATCHES "^[0-9A-Za-z][0-9A-Za-z.+_-]*$" OR version MATCHES "^.{65}")
    message(FATAL_ERROR "VLR_UPDATER_VERSION \"${version}\" is not a version: up to 64 "
            "letters, digits and . + _ -, starting with a letter or digit")
  endif()
  set(numbers "0,0,0,0")
  if(version MATCHES "^v?([0-9]+)\\.([0-9]+)\\.([0-9]+)")
    if(CMAKE_MATCH_1 LESS 65536 AND CMAKE_MATCH_2 LESS 65536 AND CMAKE_MATCH_3 LESS 65536)
      set(numbers "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")
    endif()
  endif()
  string(CONCAT text "// Written by cmake/UpdaterVersion.cmake: the updater's release.\n"
         "#pragma once\n"
         "#define VLR_VERSION \"${version}\"\n"
         "#define VLR_VERSION_RC \"${version}\\0\"\n"
         "#define VLR_VERSION_NUMBERS ${numbers}\n")
  file(CONFIGURE OUTPUT "${file}" CONTENT "${text}")
endfunction()
