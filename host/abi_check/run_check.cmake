# Runs the MSVC-ABI host under the emulator and fails unless it exits 0,
# reports no FAIL, and its output (its own verdicts interleaved with the
# plug-in's log lines) is exactly the expected text.
execute_process(COMMAND ${EMULATOR} ${HOST}
                WORKING_DIRECTORY ${WORKDIR}
                OUTPUT_VARIABLE output
                ERROR_VARIABLE errors
                RESULT_VARIABLE status)
# The plug-in's C runtime writes text-mode line ends.
string(REPLACE "\r\n" "\n" output "${output}")
file(READ ${EXPECTED} expected)
message("${output}")
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "msvc_host exited with '${status}'\n${errors}")
endif()
if(output MATCHES "(^|\n)FAIL ")
  message(FATAL_ERROR "msvc_host reported a failure")
endif()
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "msvc_host output differs from ${EXPECTED}; expected:\n${expected}")
endif()
