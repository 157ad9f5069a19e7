# Signs FILE in place with osslsigncode (Authenticode, SHA-256), with the certificate and key of
# the PKCS#12 file PKCS12, whose password is read from the environment variable
# FENN_SIGN_PASSWORD, never from a command line that a build log could show. TIMESTAMP_URL, when
# not empty, names an RFC 3161 time-stamp server.
#   cmake -DFILE=... -DPKCS12=... -DOSSLSIGNCODE=... [-DTIMESTAMP_URL=...] -P SignFile.cmake
# On any failure FILE is deleted and the build stops with one message naming it.
set(work ${FILE}.signing)

function(fail message)
  file(REMOVE_RECURSE ${work})
  file(REMOVE ${FILE})
  message(FATAL_ERROR "${FILE}: not signed: ${message}")
endfunction()

if(NOT DEFINED ENV{FENN_SIGN_PASSWORD})
  fail("FENN_SIGN_PASSWORD is not set (the password of ${PKCS12})")
endif()
# The password goes to osslsigncode through a file in a folder only this user can enter.
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
file(CHMOD ${work} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(WRITE ${work}/password "$ENV{FENN_SIGN_PASSWORD}")
set(timestamp "")
if(TIMESTAMP_URL)
  set(timestamp -ts ${TIMESTAMP_URL})
endif()
execute_process(
    COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${PKCS12} -readpass ${work}/password -h sha256
            ${timestamp} -in ${FILE} -out ${work}/signed
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
file(REMOVE ${work}/password)
if(NOT result EQUAL 0)
  string(REGEX REPLACE "\n+" " / " output "${output}")
  fail("osslsigncode could not sign with ${PKCS12} (wrong password or no usable key?): ${output}")
endif()
file(RENAME ${work}/signed ${FILE})
file(REMOVE_RECURSE ${work})
