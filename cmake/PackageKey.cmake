# The public key a release build checks its packages against (-DVLR_PACKAGE_KEY=file.pem).
#
# vlr_package_key_hex(<pem> <out-var>) reads an ECDSA P-256 public key in PEM form and
# sets <out-var> to its 65-byte uncompressed point (04 || X || Y) in hex. Anything else
# (another curve, a private key, a damaged file) stops the configuration with a message
# that says what was wrong. The openssl command reads the PEM; nothing here computes.
#
# Run as a script it checks one file:  cmake -DPEM=<file> -P PackageKey.cmake

function(vlr_package_key_hex pem out)
  # The DER header of a SubjectPublicKeyInfo that holds an uncompressed P-256 point:
  # SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING (66 bytes) }.
  set(spki_header "3059301306072a8648ce3d020106082a8648ce3d030107034200")
  if(NOT EXISTS "${pem}")
    message(FATAL_ERROR "VLR_PACKAGE_KEY: ${pem} does not exist")
  endif()
  find_program(VLR_OPENSSL openssl)
  if(NOT VLR_OPENSSL)
    message(FATAL_ERROR "VLR_PACKAGE_KEY: the openssl command is needed to read ${pem}")
  endif()
  string(MD5 tag "${pem}")
  set(der "${CMAKE_CURRENT_BINARY_DIR}/package_key_${tag}.der")
  execute_process(COMMAND ${VLR_OPENSSL} pkey -pubin -in "${pem}" -outform DER -out "${der}"
                  RESULT_VARIABLE status ERROR_VARIABLE error OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    file(REMOVE "${der}")
    string(STRIP "${error}" error)
    message(FATAL_ERROR "VLR_PACKAGE_KEY: ${pem} is not a PEM public key (openssl: ${error})")
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
    message(FATAL_ERROR "VLR_PACKAGE_KEY: ${pem} is not an ECDSA P-256 public key "
                        "(make one with: openssl ecparam -name prime256v1 -genkey -noout "
                        "-out private.pem && openssl ec -in private.pem -pubout -out public.pem)")
  endif()
  string(SUBSTRING "${hex}" ${header_length} 130 point)
  set(${out} "${point}" PARENT_SCOPE)
endfunction()

# vlr_package_key_source(<out-file> <hex>) writes the C++ file that defines PackageKey():
# the point's bytes, or nothing for a build without a key.
function(vlr_package_key_source file hex)
  set(bytes "")
  if(hex)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  endif()
  string(CONCAT text "// Written by cmake/PackageKey.cmake: the key packages are checked against.\n"
           "#include \"signature/package_key.h\"\n\n"
           "namespace vlr {\n\n")
  if(bytes)
    string(APPEND text "namespace {\nconstexpr std::uint8_t kKey[] = {${bytes}};\n}  // namespace\n\n"
                       "std::span<const std::uint8_t> PackageKey() { return kKey; }\n")
  else()
    string(APPEND text "std::span<const std::uint8_t> PackageKey() { return {}; }\n")
  endif()
  string(APPEND text "\n}  // namespace vlr\n")
  file(CONFIGURE OUTPUT "${file}" CONTENT "${text}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED PEM)
  vlr_package_key_hex("${PEM}" point)
  message(STATUS "ECDSA P-256 public key: ${point}")
endif()
