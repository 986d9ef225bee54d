# The public keys a release build checks its packages against
# (-DVLR_PACKAGE_KEY=file.pem, or "release.pem;backup.pem" for several).
#
# vlr_package_key_hex(<pem> <out-var> <error-var>) reads an ECDSA P-256 public key in
# PEM form and sets <out-var> to its 65-byte uncompressed point (04 || X || Y) in hex.
# Anything else (another curve, a private key, a damaged file) leaves <out-var> empty
# and says in <error-var> what was wrong. The openssl command reads the PEM; nothing
# here computes.
#
# vlr_package_keys_hex(<pems> <out-var> <error-var>) does the same for a list of one to
# four such files, all different keys, and sets <out-var> to the list of their points in
# the order given.
#
# Run as a script it checks one file or a list:  cmake -DPEM=<files> -P PackageKey.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_policy(VERSION 3.25)  # as the project: a list keeps its empty entries
endif()
set(VLR_MAX_PACKAGE_KEYS 4)  # as kMaxPackageKeys in signature/package_key.h

function(vlr_package_key_hex pem out error)
  set(${out} "" PARENT_SCOPE)
  # The DER header of a SubjectPublicKeyInfo that holds an uncompressed P-256 point:
  # SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING (66 bytes) }.
  set(spki_header "3059301306072a8648ce3d020106082a8648ce3d030107034200")
  if(NOT EXISTS "${pem}")
    set(${error} "${pem} does not exist" PARENT_SCOPE)
    return()
  endif()
  find_program(VLR_OPENSSL openssl)
  if(NOT VLR_OPENSSL)
    set(${error} "the openssl command is needed to read ${pem}" PARENT_SCOPE)
    return()
  endif()
  string(MD5 tag "${pem}")
  set(der "${CMAKE_CURRENT_BINARY_DIR}/package_key_${tag}.der")
  execute_process(COMMAND ${VLR_OPENSSL} pkey -pubin -in "${pem}" -outform DER -out "${der}"
                  RESULT_VARIABLE status ERROR_VARIABLE reason OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    file(REMOVE "${der}")
    string(STRIP "${reason}" reason)
    set(${error} "${pem} is not a PEM public key (openssl: ${reason})" PARENT_SCOPE)
    return()
  endif()
  file(READ "${der}" hex HEX)
  file(REMOVE "${der}")
  string(LENGTH "${hex}" length)
  string(LENGTH "${spki_header}" header_length)
  if(length GREATER_EQUAL header_length)
    string(SUBSTRING "${hex}" 0 ${header_length} header)
  else()
    set(header "")
  endif()
  if(NOT length EQUAL 182 OR NOT header STREQUAL spki_header)
    string(CONCAT reason "${pem} is not an ECDSA P-256 public key "
           "(make one with: openssl ecparam -name prime256v1 -genkey -noout "
           "-out private.pem && openssl ec -in private.pem -pubout -out public.pem)")
    set(${error} "${reason}" PARENT_SCOPE)
    return()
  endif()
  string(SUBSTRING "${hex}" ${header_length} 130 point)
  set(${out} "${point}" PARENT_SCOPE)
  set(${error} "" PARENT_SCOPE)
endfunction()

function(vlr_package_keys_hex pems out error)
  set(${out} "" PARENT_SCOPE)
  set(${error} "" PARENT_SCOPE)
  list(LENGTH pems count)
  if(count GREATER VLR_MAX_PACKAGE_KEYS)
    set(${error} "${count} keys given; a build trusts one to ${VLR_MAX_PACKAGE_KEYS}" PARENT_SCOPE)
    return()
  endif()
  set(points "")
  set(files "")
  foreach(pem IN LISTS pems)
    if(pem STREQUAL "")
      set(${error} "an empty entry in the list of keys (\"${pems}\")" PARENT_SCOPE)
      return()
    endif()
    vlr_package_key_hex("${pem}" point reason)
    if(reason)
      set(${error} "${reason}" PARENT_SCOPE)
      return()
    endif()
    # The same key twice is no second key: a backup that is not one.
    list(FIND points "${point}" same)
    if(NOT same EQUAL -1)
      list(GET files ${same} first)
      set(${error} "${pem} is the same key as ${first}; each key must be another one"
          PARENT_SCOPE)
      return()
    endif()
    list(APPEND points "${point}")
    list(APPEND files "${pem}")
  endforeach()
  set(${out} "${points}" PARENT_SCOPE)
endfunction()

# vlr_package_key_source(<out-file> <hex list>) writes the C++ file that defines
# PackageKeys(): the points' bytes, or none for a build without a key.
function(vlr_package_key_source file points)
  string(CONCAT text "// Written by cmake/PackageKey.cmake: the keys packages are checked against.\n"
           "#include \"signature/package_key.h\"\n\n"
           "namespace vlr {\n\n")
  if(points)
    string(APPEND text "namespace {\n")
    set(names "")
    set(i 0)
    foreach(hex IN LISTS points)
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
      string(APPEND text "constexpr std::uint8_t kKey${i}[] = {${bytes}};\n")
      string(APPEND names "kKey${i}, ")
      math(EXPR i "${i} + 1")
    endforeach()
    string(APPEND text "constexpr PublicKeyPoint kKeys[] = {${names}};\n"
                       "static_assert(std::size(kKeys) <= kMaxPackageKeys);\n"
                       "}  // namespace\n\n"
                       "std::span<const PublicKeyPoint> PackageKeys() { return kKeys; }\n")
  else()
    string(APPEND text "std::span<const PublicKeyPoint> PackageKeys() { return {}; }\n")
  endif()
  string(APPEND text "\n}  // namespace vlr\n")
  file(CONFIGURE OUTPUT "${file}" CONTENT "${text}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED PEM)
  vlr_package_keys_hex("${PEM}" points error)
  if(error)
    message(FATAL_ERROR "VLR_PACKAGE_KEY: ${error}")
  endif()
  foreach(point IN LISTS points)
    message(STATUS "ECDSA P-256 public key: ${point}")
  endforeach()
endif()
