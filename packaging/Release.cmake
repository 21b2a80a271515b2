# The release: scripts/package.sh turns the Windows build into the files a user installs
# (stripped exe with its debug file, portable zip, MSI). This folder holds the MSI source and
# the release's end-to-end test; the build's part is small and is here. Included from the top
# directory, where Pesora is defined, so that it can add a step to Pesora's link.

if(TARGET Pesora AND MINGW)
  # Debug information for the release exe, kept out of it: the build leaves Pesora.exe stripped,
  # as it ships, with its debug information in Pesora.exe.debug beside it. Under Wine a mingw
  # exe's sections are read into private memory, debug sections too: an exe with them starts
  # slower and holds twice the memory. -g does not change the generated code.
  target_compile_options(Pesora PRIVATE -g)
  target_compile_options(pesora_core PRIVATE -g)
  target_compile_options(pesora_rim PRIVATE -g)
  add_custom_command(TARGET Pesora POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:Pesora> -DOBJCOPY=${CMAKE_OBJCOPY}
            -P ${CMAKE_CURRENT_LIST_DIR}/SplitDebugInfo.cmake
    COMMENT "Moving the debug information of Pesora.exe into Pesora.exe.debug"
    VERBATIM)
endif()

if(WIN32)
  # The one version of the release, from the project version: package.sh names the zip and the
  # MSI after it and gives it to the MSI, as the version resource has it (app/Version.h.in).
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/PesoraVersion.txt CONTENT "${PROJECT_VERSION}\n")
endif()

if(WIN32 AND MINGW AND PESORA_TESTS)
  # The Win32 half of the release test: installs, upgrades and removes the MSI and runs the
  # installed and the unzipped Pesora.exe. Its shell half (packaging/e2e/release-test.sh) builds
  # the files first, so CTest registers it below rather than through pesora_add_e2e.
  add_executable(release_e2e ${CMAKE_CURRENT_LIST_DIR}/e2e/Release_e2e.cpp)
  target_link_libraries(release_e2e PRIVATE pesora_e2e_harness)
  pesora_windows_program(release_e2e TESTBENCH)
elseif(NOT WIN32 AND PESORA_WINE AND PESORA_TESTS AND DEFINED PESORA_WIN_DIR)
  # release.package builds the release files with package.sh and checks them without Wine;
  # e2e.release then installs them on the bench.
  set(_release_dir ${CMAKE_BINARY_DIR}/release-test)
  set(_release_env BENCH_DIR=${CMAKE_BINARY_DIR}/bench PESORA_WIN_DIR=${PESORA_WIN_DIR}
                   RELEASE_TEST_DIR=${_release_dir})
  add_test(NAME release.package
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/release-test.sh package ${CMAKE_BINARY_DIR})
  set_tests_properties(release.package PROPERTIES FIXTURES_SETUP release ENVIRONMENT "${_release_env}"
                       TIMEOUT 300)
  add_test(NAME e2e.release COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/release-test.sh wine ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e.release PROPERTIES FIXTURES_REQUIRED "bench;release" ENVIRONMENT "${_release_env}"
                       TIMEOUT 600 RESOURCE_LOCK wine)
endif()
