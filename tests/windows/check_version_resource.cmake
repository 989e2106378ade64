# check_version_resource.cmake - fails unless PROGRAM.exe (BINARY) carries
# the release's version resource: the version as text and as numbers, the
# product's name and a description, as Windows shows them in its properties.
# cmake -DRC=<windres> -DBINARY=... -DPROGRAM=... -P check_version_resource.cmake
execute_process(COMMAND ${RC} -i ${BINARY} -O rc OUTPUT_VARIABLE resources
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${RC} cannot read the resources of ${BINARY}: ${errors}")
endif()
foreach(line
    "FILEVERSION 0, 1, 0, 0"
    "PRODUCTVERSION 0, 1, 0, 0"
    "VALUE \"FileVersion\", \"0.01a\""
    "VALUE \"ProductVersion\", \"0.01a\""
    "VALUE \"ProductName\", \"gvtool, the Drelmoor 2 SAVE patcher\""
    "VALUE \"OriginalFilename\", \"${PROGRAM}.exe\"")
  string(FIND "${resources}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${BINARY}: no ${line} in its resources:\n${resources}")
  endif()
endforeach()
if(NOT resources MATCHES "VALUE \"FileDescription\", \"[A-Z][^\"]+\"")
  message(FATAL_ERROR "${BINARY}: no description in its resources:\n${resources}")
endif()
