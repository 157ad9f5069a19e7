# What a shipped Windows file gets besides its code: a version resource in Korean and, when the
# build is given a certificate, an Authenticode signature. Used by the codec library's build and
# by FennSetup.exe's.
include_guard(GLOBAL)

# ---- Version resources ------------------------------------------------------------------------
# The copyright's closing year is the build's date: SOURCE_DATE_EPOCH when it is set, otherwise
# the time of the commit being built, so that two builds of one commit agree.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE git_result)
  if(git_result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
  endif()
endif()

# Gives TARGET a version resource naming it FILE_NAME with DESCRIPTION; TYPE is VFT_APP or
# VFT_DLL; a fifth argument DEBUG marks a debug build.
function(fenn_version_resource target file_name description type)
  set(FENN_VERSION_FILE ${file_name})
  set(FENN_VERSION_DESCRIPTION ${description})
  set(FENN_VERSION_TYPE ${type})
  set(FENN_VERSION_FLAGS 0)
  string(TIMESTAMP FENN_COPYRIGHT_YEAR "%Y" UTC)  # honours SOURCE_DATE_EPOCH
  if(ARGV4 STREQUAL "DEBUG")
    set(FENN_VERSION_FLAGS VS_FF_DEBUG)
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
endfunction()

# ---- Signing ----------------------------------------------------------------------------------
set(FENN_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp server for the signatures (needs the network); empty: no time stamp")
if(FENN_SIGN_PKCS12)
  if(NOT EXISTS ${FENN_SIGN_PKCS12} OR IS_DIRECTORY ${FENN_SIGN_PKCS12})
    message(FATAL_ERROR "FENN_SIGN_PKCS12: no certificate file ${FENN_SIGN_PKCS12}")
  endif()
  file(READ ${FENN_SIGN_PKCS12} readable LIMIT 1 HEX)  # stops here when it cannot be read
  find_program(FENN_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# Signs TARGET's file in place right after it is linked, when the build signs at all. A failure
# deletes the file, so that nothing unsigned is taken for the signed one.
function(fenn_sign_after_build target)
  if(NOT FENN_SIGN_PKCS12)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DPKCS12=${FENN_SIGN_PKCS12}
              -DOSSLSIGNCODE=${FENN_OSSLSIGNCODE} -DTIMESTAMP_URL=${FENN_SIGN_TIMESTAMP_URL}
              -P ${PROJECT_SOURCE_DIR}/cmake/SignFile.cmake
      COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
      VERBATIM)
endfunction()
