# Makes a language file from its UTF-8 source: CR LF line ends, then the
# language's Windows code page (with iconv).
#   cmake -DSOURCE=... -DOUTPUT=... -DCODEPAGE=CP1252 -DICONV=/usr/bin/iconv -P Encode.cmake
file(READ "${SOURCE}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}.crlf" "${text}")
execute_process(COMMAND "${ICONV}" -f UTF-8 -t "${CODEPAGE}" "${OUTPUT}.crlf"
    OUTPUT_FILE "${OUTPUT}.tmp" RESULT_VARIABLE rc ERROR_VARIABLE err)
file(REMOVE "${OUTPUT}.crlf")
if(NOT rc EQUAL 0)
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "${SOURCE}: not representable in ${CODEPAGE}: ${err}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
