# Runs the help compiler in the current folder and fails unless it produced the help file.
# Called as: cmake -DCOMPILER=<chmcmd or hhc> -P RunHelpCompiler.cmake
# (hhc reports success with exit code 1, so the result is judged by the file it writes.)
file(REMOVE PesoraHelp.chm)
execute_process(COMMAND ${COMPILER} PesoraHelp.hhp RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT EXISTS PesoraHelp.chm)
  message(FATAL_ERROR "The help compiler made no PesoraHelp.chm (exit ${result}):\n${out}")
endif()
string(FIND "${out}" "rror" errorAt)
if(NOT errorAt EQUAL -1)
  message(FATAL_ERROR "The help compiler reported errors:\n${out}")
endif()
