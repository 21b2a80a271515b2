# Runs the help compiler in the current folder and fails unless it produced the help file
# cleanly. Called as: cmake -DCOMPILER=<chmcmd or hhc> -P RunHelpCompiler.cmake
# chmcmd (Free Pascal) reports missing pages and broken links as warnings and exits non-zero on
# errors; Microsoft's hhc exits with 1 on success and marks problems "HHCnnnn: Error".
file(REMOVE PesoraHelp.chm)
get_filename_component(name ${COMPILER} NAME_WE)
if(name STREQUAL "chmcmd")
  execute_process(COMMAND ${COMPILER} --html-scan PesoraHelp.hhp
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0 OR out MATCHES "Warning|Error|rror:")
    message(FATAL_ERROR "The help compiler reported problems (exit ${result}):\n${out}")
  endif()
else()
  execute_process(COMMAND ${COMPILER} PesoraHelp.hhp RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(out MATCHES "HHC[0-9]+: Error")
    message(FATAL_ERROR "The help compiler reported errors:\n${out}")
  endif()
endif()
if(NOT EXISTS PesoraHelp.chm)
  message(FATAL_ERROR "The help compiler made no PesoraHelp.chm (exit ${result}):\n${out}")
endif()
