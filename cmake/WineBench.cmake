# The Windows side, cross-built with mingw-w64 in a nested build, and the bench that runs its
# programs under Wine: its own Xvfb display and its own Wine prefix inside this build tree.
include(ExternalProject)

find_program(PESORA_MINGW_CXX x86_64-w64-mingw32-g++)
find_program(PESORA_WINE_EXE wine)
if(NOT PESORA_MINGW_CXX OR NOT PESORA_WINE_EXE)
  message(WARNING "mingw-w64 or wine missing: the Windows side and the end-to-end tests are skipped "
                  "(scripts/setup.sh installs them)")
  return()
endif()

set(PESORA_WIN_DIR ${CMAKE_BINARY_DIR}/win)
# A compiler launcher (ccache) chosen for this build serves the nested one too.
set(_launchers)
foreach(lang C CXX)
  if(CMAKE_${lang}_COMPILER_LAUNCHER)
    list(APPEND _launchers -DCMAKE_${lang}_COMPILER_LAUNCHER=${CMAKE_${lang}_COMPILER_LAUNCHER})
  endif()
endforeach()
ExternalProject_Add(pesora_win
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${PESORA_WIN_DIR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
             -DCMAKE_BUILD_TYPE=Release -DPESORA_TESTS=ON -DPESORA_SANITIZE=OFF ${_launchers}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)

set(_bench ${CMAKE_SOURCE_DIR}/testbench/bench.sh)
set(_benchenv BENCH_DIR=${CMAKE_BINARY_DIR}/bench PESORA_WIN_DIR=${PESORA_WIN_DIR})

add_test(NAME bench.start COMMAND ${_bench} start)
add_test(NAME bench.stop COMMAND ${_bench} stop)
set_tests_properties(bench.start PROPERTIES FIXTURES_SETUP bench ENVIRONMENT "${_benchenv}" TIMEOUT 300)
set_tests_properties(bench.stop PROPERTIES FIXTURES_CLEANUP bench ENVIRONMENT "${_benchenv}")

add_test(NAME pe.hardening COMMAND ${CMAKE_SOURCE_DIR}/testbench/check-pe.sh ${PESORA_WIN_DIR}/Pesora.exe)
add_test(NAME pe.unicode_windows COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-unicode-windows.sh ${PESORA_WIN_DIR}/Pesora.exe)

get_property(_e2e GLOBAL PROPERTY PESORA_E2E_TESTS)
foreach(t IN LISTS _e2e)
  add_test(NAME e2e.${t} COMMAND ${_bench} run ${t}.exe)
  set_tests_properties(e2e.${t} PROPERTIES FIXTURES_REQUIRED bench ENVIRONMENT "${_benchenv}"
                       TIMEOUT 900 RESOURCE_LOCK wine)
endforeach()
