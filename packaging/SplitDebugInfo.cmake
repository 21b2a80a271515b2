# Moves the debug information of a linked exe into <exe>.debug beside it and leaves the exe
# stripped, with a debug link (the file's name and CRC) that gdb follows to that file.
#   cmake -DEXE=<path of the exe> -DOBJCOPY=<objcopy> -P SplitDebugInfo.cmake
# objcopy stamps the PE headers it writes with the current time unless SOURCE_DATE_EPOCH says
# otherwise: it is set to the link time, which the exe then keeps.

# A little-endian 32-bit number at `offset` of the file.
function(read_u32 file offset out)
  file(READ ${file} hex OFFSET ${offset} LIMIT 4 HEX)
  string(SUBSTRING ${hex} 0 2 b0)
  string(SUBSTRING ${hex} 2 2 b1)
  string(SUBSTRING ${hex} 4 2 b2)
  string(SUBSTRING ${hex} 6 2 b3)
  math(EXPR value "0x${b3}${b2}${b1}${b0}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

read_u32(${EXE} 60 peHeader) # e_lfanew
math(EXPR stampOffset "${peHeader} + 8")
read_u32(${EXE} ${stampOffset} linkTime)
set(ENV{SOURCE_DATE_EPOCH} ${linkTime})

get_filename_component(folder ${EXE} DIRECTORY)
get_filename_component(name ${EXE} NAME)
execute_process(COMMAND ${OBJCOPY} --only-keep-debug ${name} ${name}.debug
                WORKING_DIRECTORY ${folder} RESULT_VARIABLE result)
if(result EQUAL 0)
  execute_process(COMMAND ${OBJCOPY} --strip-all --add-gnu-debuglink=${name}.debug ${name}
                  WORKING_DIRECTORY ${folder} RESULT_VARIABLE result)
endif()
if(NOT result EQUAL 0)
  file(REMOVE ${EXE}) # never leave a half-made exe that the next build takes as up to date
  message(FATAL_ERROR "splitting the debug information of ${EXE} failed (${result})")
endif()
