# Helpers shared by the subsystems' CMakeLists.

function(pesora_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
endfunction()

function(pesora_sanitize target)
  target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                           -fno-sanitize-recover=undefined)
  target_link_options(${target} PUBLIC -fsanitize=address,undefined)
endfunction()

# Unit test programs, and the sanitised core they test, are compiled for a short build rather
# than for speed: they run in a fraction of a second, while GoogleTest's templates at -O2 with
# full debug information, under the sanitisers' instrumentation too, were most of the test
# command's build (a test file took 13 s, now 6). -g1 keeps the line numbers that sanitizer
# reports and gdb need; the plain core stays at the build type's optimisation.
function(pesora_test_code target)
  if(NOT MSVC)
    target_compile_options(${target} PRIVATE -Og -g1)
  endif()
endfunction()

# How the code of Pesora.exe (and of the program it is measured against) is compiled with mingw:
# at PESORA_OPTIMIZE, and with every function and object in a section of its own, so that the
# link (pesora_windows_program HARDEN) drops what nothing uses. Measured under Wine with the exe
# mapped, -Os and -O2 start alike and hold the same private memory; -Os gives the smaller exe
# (0.93 MB against 1.14 MB, and 1.29 MB at -O3 before), and the window's work is Wine's calls.
set(PESORA_OPTIMIZE -Os CACHE STRING "Optimisation option for Pesora.exe's code in mingw builds")
function(pesora_lean_code target)
  if(MINGW)
    target_compile_options(${target} PRIVATE ${PESORA_OPTIMIZE} -ffunction-sections -fdata-sections)
  endif()
endfunction()

# pesora_windows_program(target [HARDEN] [TESTBENCH]): every Windows program of the tree links
# the C and C++ runtimes statically, so it needs no DLL beyond the ones Windows ships. HARDEN
# adds ASLR with high-entropy addresses and DEP (Pesora.exe and what it is compared with), and
# builds them lean: unused sections dropped, and sections aligned in the file as in memory
# (mingw's default is 512 bytes), which lets Wine map the exe rather than copy all of it into
# the process's private memory. TESTBENCH puts the program beside the other end-to-end programs
# in e2e-bin.
function(pesora_windows_program target)
  cmake_parse_arguments(arg "HARDEN;TESTBENCH" "" "" ${ARGN})
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    if(arg_HARDEN)
      target_link_options(${target} PRIVATE -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat
                          -Wl,--image-base,0x140000000 -Wl,--gc-sections -Wl,--file-alignment,0x1000)
      pesora_lean_code(${target})
    endif()
  elseif(MSVC AND arg_HARDEN)
    target_link_options(${target} PRIVATE /DYNAMICBASE /HIGHENTROPYVA /NXCOMPAT)
  endif()
  if(arg_TESTBENCH)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e-bin)
  endif()
  pesora_warnings(${target})
endfunction()

# Portable sources: never include <windows.h>; built into the core on every platform.
function(pesora_core_sources)
  list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  target_sources(pesora_core PRIVATE ${ARGN})
  if(TARGET pesora_core_san)
    target_sources(pesora_core_san PRIVATE ${ARGN})
  endif()
endfunction()

# Win32 rim: files named *_win.cpp go into the rim library; resource scripts into Pesora.exe
# itself (resources do not travel through a static library).
function(pesora_win_sources)
  if(TARGET pesora_rim)
    list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    set(_rc ${ARGN})
    list(FILTER _rc INCLUDE REGEX "[.]rc$")
    set(_cpp ${ARGN})
    list(FILTER _cpp EXCLUDE REGEX "[.]rc$")
    target_sources(pesora_rim PRIVATE ${_cpp})
    if(_rc)
      target_sources(Pesora PRIVATE ${_rc})
    endif()
  endif()
endfunction()

function(pesora_win_libraries)
  if(TARGET pesora_rim)
    target_link_libraries(pesora_rim PUBLIC ${ARGN})
  endif()
endfunction()

macro(pesora_find_gtest)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND AND NOT TARGET gtest_main AND EXISTS /usr/src/googletest/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    target_compile_options(gtest PRIVATE -O1)
    if(NOT TARGET GTest::gtest_main)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
    set(GTest_FOUND TRUE)
  endif()
endmacro()

# pesora_add_test(name file...): one GoogleTest program of native unit tests, linked with the
# core; on Linux the same program is built again against the sanitised core as name_san.
function(pesora_add_test name)
  if(NOT PESORA_TESTS OR NOT GTest_FOUND)
    return()
  endif()
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    return() # the cross build runs end-to-end programs, not the unit tests
  endif()
  list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE pesora_core GTest::gtest_main)
  pesora_warnings(${name})
  pesora_test_code(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(TARGET pesora_core_san)
    add_executable(${name}_san ${ARGN})
    target_link_libraries(${name}_san PRIVATE pesora_core_san GTest::gtest_main)
    pesora_warnings(${name}_san)
    pesora_test_code(${name}_san)
    pesora_sanitize(${name}_san)
    add_test(NAME ${name}_san COMMAND ${name}_san)
    set_tests_properties(${name}_san PROPERTIES
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")
  endif()
endfunction()

# pesora_add_fuzzer(name file...): a libFuzzer target over the portable core (clang only).
function(pesora_add_fuzzer name)
  if(NOT PESORA_FUZZ)
    return()
  endif()
  list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE pesora_core_san)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()

# pesora_add_e2e(name file...): an end-to-end test program. In the Windows cross build it is
# compiled with mingw against the harness; in the Linux build it becomes a CTest entry that
# runs the program under Wine on the bench (cmake/WineBench.cmake).
function(pesora_add_e2e name)
  if(NOT PESORA_TESTS)
    return()
  endif()
  if(WIN32 AND MINGW)
    list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE pesora_e2e_harness)
    pesora_windows_program(${name} TESTBENCH)
    # A test program's speed does not matter, its build time does: GoogleTest's templates at -O3
    # cost a third more to compile for nothing. The fixture's options are given as designated
    # initializers that leave the others at their defaults, as meant.
    target_compile_options(${name} PRIVATE -O1 -Wno-missing-field-initializers)
  elseif(NOT WIN32 AND PESORA_WINE)
    set_property(GLOBAL APPEND PROPERTY PESORA_E2E_TESTS ${name})
  endif()
endfunction()
