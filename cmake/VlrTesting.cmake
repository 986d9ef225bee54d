# GoogleTest from the sources the googletest package installs, so the native and the
# Windows builds run the very same framework.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()

include(GoogleTest)

# Wine: one private prefix in the build folder and one persistent server for the
# whole ctest run, so each test program starts in well under a second. The 32-bit
# build runs under 32-bit Wine, the 64-bit one under wine64 with a 64-bit prefix; the
# loader is named outright because /usr/bin/wine prefers the 32-bit one whenever it
# is installed, even where the kernel cannot start it.
if(WIN32)
  set(VLR_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VLR_WINEARCH win64)
    set(VLR_WINELOADER /usr/lib/wine/wine64)
  else()
    set(VLR_WINEARCH win32)
    set(VLR_WINELOADER /usr/lib/wine/wine)
  endif()
  set(VLR_WINE_ENV
      WINEPREFIX=${VLR_WINEPREFIX} WINEARCH=${VLR_WINEARCH} WINELOADER=${VLR_WINELOADER}
      WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${VLR_WINE_ENV} ${VLR_WINELOADER} CACHE STRING "" FORCE)
  # The prefix is warmed with one GUI start (uidriver counting windows), so no test
  # pays for Wine bringing up its desktop process.
  add_test(NAME wine_prefix_start
           COMMAND env ${VLR_WINE_ENV} ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start
                   ${VLR_WINEPREFIX} ${CMAKE_BINARY_DIR}/bin/uidriver.exe count)
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 240)
  add_test(NAME wine_prefix_stop
           COMMAND env ${VLR_WINE_ENV} ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop
                   ${VLR_WINEPREFIX})
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# vlr_add_gtest(<name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <s>] [LABELS <l...>]
#               [FIXTURES <ctest fixtures...>] [WRAPPER <command...>])
# One test program. Natively each test case is its own ctest entry; under Wine the
# program is one entry (each start of a Windows program costs time). FIXTURES names
# ctest fixtures the program needs (e.g. the loopback mirror). WRAPPER is a command that
# sets the scene and runs the program given after it; the program is then one entry on
# both builds.
function(vlr_add_gtest name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;LABELS;FIXTURES;WRAPPER" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} gmock gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
      VLR_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VLR_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  if(WIN32)
    target_link_options(${name} PRIVATE -mconsole)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  if(A_WRAPPER)
    # The emulator is not put in front of a wrapped program by ctest: add it here.
    if(WIN32)
      add_test(NAME ${name} COMMAND ${A_WRAPPER} ${CMAKE_CROSSCOMPILING_EMULATOR}
                                    $<TARGET_FILE:${name}>)
      set(fixtures wine ${A_FIXTURES})
    else()
      add_test(NAME ${name} COMMAND ${A_WRAPPER} $<TARGET_FILE:${name}>)
      set(fixtures ${A_FIXTURES})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT})
    if(fixtures)
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${fixtures}")
    endif()
    if(A_LABELS)
      set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
    endif()
  elseif(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set(fixtures wine ${A_FIXTURES})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${fixtures}"
                         TIMEOUT ${A_TIMEOUT} LABELS "${A_LABELS}")
  else()
    # Properties with an empty value would shift the list: pass only those that are set.
    set(properties TIMEOUT ${A_TIMEOUT})
    if(A_LABELS)
      list(APPEND properties LABELS "${A_LABELS}")
    endif()
    if(A_FIXTURES)
      list(APPEND properties FIXTURES_REQUIRED "${A_FIXTURES}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  endif()
endfunction()
