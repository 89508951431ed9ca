# The tests that run on Windows (under wine when cross-built): those not
# about Linux, against the system's real services. A wine start costs a
# second or two, so each test program is one CTest entry, not one per case.

# With REGISTRY, the test changes the program's settings keys, which are the
# system's and shared by every test program: such tests run one at a time.
function(sonderik_windows_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "REGISTRY" "" "")
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT 300)
  if(arg_REGISTRY)
    set_tests_properties(${target} PROPERTIES RESOURCE_LOCK sonderik_settings_keys)
  endif()
endfunction()

# The sources as the tests see them under wine, whose drive Z: is the root
# of the machine that builds: a path of that machine means nothing there
# unless the current drive happens to be Z:. Windows takes '/' between names
# as well, and it passes through a compiler's command line unharmed.
set(SONDERIK_WINDOWS_SOURCE_DIR "Z:${PROJECT_SOURCE_DIR}")

add_executable(voice_tests
  voice/ErrorAndFamilyTest.cpp
  voice/VoiceFileTest.cpp
  voice/VoiceListTest.cpp
  voice/PatchTest.cpp
)
target_link_libraries(voice_tests PRIVATE sonderik_test_support GTest::gtest_main)
target_compile_definitions(voice_tests PRIVATE SONDERIK_DEMO_FILE="${SONDERIK_WINDOWS_SOURCE_DIR}/examples/demo.s1v")
sonderik_windows_test(voice_tests)

add_executable(threads_tests platform/threads/WindowThreadTest.cpp)
target_link_libraries(threads_tests PRIVATE sonderik_threads GTest::gtest_main)
sonderik_windows_test(threads_tests)

add_executable(registry_tests platform/registry/RegistryTest.cpp)
target_link_libraries(registry_tests PRIVATE sonderik_registry GTest::gtest_main)
sonderik_windows_test(registry_tests)

add_executable(settings_tests app/RegistryKeyTest.cpp app/SettingsTest.cpp app/PortChoiceTest.cpp)
target_link_libraries(settings_tests PRIVATE sonderik_app_settings GTest::gtest_main)
sonderik_windows_test(settings_tests REGISTRY)

# The files and the system rooms over the system's own drives, search, files
# and account, with the browser's listing on top of them.
add_executable(files_tests
  platform/files/DrivesWinTest.cpp
  platform/files/DescriptorTest.cpp
  platform/files/OutputFileTest.cpp
  platform/system/SystemTest.cpp
  browser/FolderListingTest.cpp
  browser/BrowserNamesTest.cpp
)
target_link_libraries(files_tests PRIVATE sonderik_browser_core sonderik_files sonderik_system sonderik_test_support
                      GTest::gtest_main)
sonderik_windows_test(files_tests)

# The disk image reader over images the build machine's mtools made (the
# archive reader is not built here).
include(containers/Fixtures.cmake)
add_executable(containers_tests containers/FatImageTest.cpp)
target_link_libraries(containers_tests PRIVATE sonderik_containers sonderik_test_support GTest::gtest_main)
target_compile_definitions(containers_tests PRIVATE SONDERIK_CONTAINER_FIXTURES="Z:${SONDERIK_CONTAINER_FIXTURES}"
                           SONDERIK_DEMO_FILE="${SONDERIK_WINDOWS_SOURCE_DIR}/examples/demo.s1v")
add_dependencies(containers_tests container_fixtures)
sonderik_windows_test(containers_tests)

# The MIDI layer, its devices and the winmm driver, against a scripted
# winmm and the real one.
add_executable(midi_layer_tests
  platform/midi/MidiLayerTest.cpp
  platform/midi/StreamDevicesTest.cpp
  platform/midi/WinmmMidiDriverTest.cpp
)
target_link_libraries(midi_layer_tests PRIVATE sonderik_test_midi sonderik_simulator_driver GTest::gtest_main)
sonderik_windows_test(midi_layer_tests)

# The port classes and the jobs against the built-in instrument and the
# scripted driver, through the same layer as on Linux.
add_executable(midi_tests
  midi/MidiOutWinTest.cpp
  midi/MidiInWinTest.cpp
  midi/MidiParamsTest.cpp
  midi/ChosenPortTest.cpp
)
target_link_libraries(midi_tests PRIVATE sonderik_midi sonderik_test_midi sonderik_simulator_driver sonderik_test_support
                      GTest::gtest_main)
sonderik_windows_test(midi_tests)

add_executable(instrument_tests
  support/JobHarness.cpp
  instrument/IdentityTest.cpp
  instrument/JobsTest.cpp
  instrument/JobFaultsTest.cpp
  instrument/ConversationTest.cpp
  instrument/AuditionTest.cpp
  instrument/LogFolderTest.cpp
)
target_link_libraries(instrument_tests PRIVATE sonderik_instrument sonderik_test_midi sonderik_simulator_driver
                      sonderik_test_support GTest::gtest_main)
sonderik_windows_test(instrument_tests)

# The files' cases (a drive table of the test's own, FIFOs, owners) are
# about Linux's stand-ins; the command line's words, exits and jobs are not.
add_executable(cli_tests cli/CliTest.cpp cli/CliMidiTest.cpp support/JobHarness.cpp)
target_link_libraries(cli_tests PRIVATE sonderik_cli_core sonderik_test_midi sonderik_test_support GTest::gtest_main)
sonderik_windows_test(cli_tests REGISTRY)
# The command line over the same images, where the system's file search cannot step into them.
target_sources(cli_tests PRIVATE cli/CliContainersTest.cpp)
target_link_libraries(cli_tests PRIVATE sonderik_containers)
target_compile_definitions(cli_tests PRIVATE SONDERIK_CONTAINER_FIXTURES="Z:${SONDERIK_CONTAINER_FIXTURES}"
                           SONDERIK_DEMO_FILE="${SONDERIK_WINDOWS_SOURCE_DIR}/examples/demo.s1v")
add_dependencies(cli_tests container_fixtures)

# The program itself, as a user runs it under wine: the same bytes as every
# build writes (standard output carries them unchanged).
add_test(NAME cli_binary_version COMMAND sonderik-cli --version)
set_tests_properties(cli_binary_version PROPERTIES PASS_REGULAR_EXPRESSION "^1\\.0\\.3")
string(REPLACE ";" "\\;" SONDERIK_RUN_UNDER "${CMAKE_CROSSCOMPILING_EMULATOR}")
add_test(NAME cli_binary_list_bytes
         COMMAND ${CMAKE_COMMAND} -DEMULATOR=${SONDERIK_RUN_UNDER} -DPROGRAM=$<TARGET_FILE:sonderik-cli>
                 -DARGS=list\;${SONDERIK_WINDOWS_SOURCE_DIR}/examples/demo.s1v
                 -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/cli/expected/demo-list.txt
                 -DACTUAL=${CMAKE_CURRENT_BINARY_DIR}/demo-list.txt
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/cli/ExpectOutput.cmake)
add_test(NAME cli_binary_export_bytes
         COMMAND ${CMAKE_COMMAND} -DEMULATOR=${SONDERIK_RUN_UNDER} -DPROGRAM=$<TARGET_FILE:sonderik-cli>
                 -DARGS=export\;${SONDERIK_WINDOWS_SOURCE_DIR}/examples/demo.s1v\;I1-002\;-o\;-
                 -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/cli/expected/demo-I1-002.syx
                 -DACTUAL=${CMAKE_CURRENT_BINARY_DIR}/demo-I1-002.syx
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/cli/ExpectOutput.cmake)
add_test(NAME cli_binary_export_file_bytes
         COMMAND ${CMAKE_COMMAND} -DEMULATOR=${SONDERIK_RUN_UNDER} -DPROGRAM=$<TARGET_FILE:sonderik-cli>
                 -DARGS=export\;${SONDERIK_WINDOWS_SOURCE_DIR}/examples/demo.s1v\;I1-002\;-o\;Z:${CMAKE_CURRENT_BINARY_DIR}/exported.syx
                 -DOUTPUT_FILE=${CMAKE_CURRENT_BINARY_DIR}/exported.syx
                 -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/cli/expected/demo-I1-002.syx
                 -DACTUAL=${CMAKE_CURRENT_BINARY_DIR}/export-said.txt
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/cli/ExpectOutput.cmake)
# In a prefix made fresh for it, so that no key of an earlier run is there.
add_test(NAME cli_windows_program
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli/WindowsProgramCheck.sh $<TARGET_FILE:sonderik-cli>
                 ${CMAKE_CURRENT_BINARY_DIR}/wine-fresh ${SONDERIK_WINDOWS_SOURCE_DIR}/examples/demo.s1v)
set_tests_properties(cli_windows_program PROPERTIES TIMEOUT 120)

# The window's resources as the program will carry them: linked in, then
# read back through the system's own calls.
add_executable(window_resources_tests app/WindowResourcesTest.cpp)
target_link_libraries(window_resources_tests PRIVATE sonderik_windows_resources version comctl32 GTest::gtest_main)
target_compile_definitions(window_resources_tests PRIVATE SONDERIK_SOURCE_DIR="${SONDERIK_WINDOWS_SOURCE_DIR}"
                           SONDERIK_VERSION="${PROJECT_VERSION}")
# The case that makes the dialog's window runs under Xvfb in a prefix of its
# own, where there is Xvfb; everywhere else it says it was skipped.
find_program(SONDERIK_XVFB_RUN xvfb-run)
if(SONDERIK_XVFB_RUN)
  set(window_case "WindowResourcesTest.DialogWindow*")
  add_test(NAME window_resources_tests COMMAND window_resources_tests --gtest_filter=-${window_case})
  set_tests_properties(window_resources_tests PROPERTIES TIMEOUT 300)
  add_test(NAME window_resources_dialog_window
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/app/WindowUnderX.sh ${CMAKE_CURRENT_BINARY_DIR}/wine-window
                   $<TARGET_FILE:window_resources_tests> --gtest_filter=${window_case})
  # It must have run the case, not skipped it or found none by that name.
  set_tests_properties(window_resources_dialog_window PROPERTIES TIMEOUT 300
                       PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\." FAIL_REGULAR_EXPRESSION "SKIPPED")
else()
  sonderik_windows_test(window_resources_tests)
endif()

# The window program as a user meets it: an outside program drives the real
# dialog of sonderik.exe under Xvfb, in a prefix made fresh for it, and the
# same run photographs it for the README (docs/sonderik-windows.png, made
# again by the target windows_picture).
if(TARGET sonderik AND SONDERIK_XVFB_RUN)
  add_executable(window_driver app/WindowDriverWin.cpp)
  target_link_libraries(window_driver PRIVATE sonderik_app_settings)
  add_test(NAME window_program
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/app/WindowsWindowCheck.sh $<TARGET_FILE:sonderik>
                   $<TARGET_FILE:window_driver> ${PROJECT_SOURCE_DIR}/examples/demo.s1v
                   ${CMAKE_CURRENT_BINARY_DIR}/wine-program)
  set_tests_properties(window_program PROPERTIES TIMEOUT 300)
  add_custom_target(windows_picture
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/app/WindowsWindowCheck.sh $<TARGET_FILE:sonderik>
            $<TARGET_FILE:window_driver> ${PROJECT_SOURCE_DIR}/examples/demo.s1v
            ${CMAKE_CURRENT_BINARY_DIR}/wine-picture ${PROJECT_SOURCE_DIR}/docs/sonderik-windows.png
    DEPENDS sonderik window_driver
    COMMENT "Photographing the window under wine into docs/sonderik-windows.png"
    VERBATIM)
endif()

# --- The list box, the tree and the image list over the system's own
# controls, in a dialog of the Win32 backend: their windows need a display,
# so they run under Xvfb in a prefix of their own (see app/WindowUnderX.sh).
if(SONDERIK_WITH_WIN32_UI AND SONDERIK_XVFB_RUN)
  add_executable(ui_win_lists_tests platform/ui/ListTreeWinTest.cpp)
  # The resources carry the tree's bitmap.
  target_link_libraries(ui_win_lists_tests PRIVATE sonderik_ui sonderik_windows_resources comctl32 GTest::gtest_main)
  add_test(NAME ui_win_lists_tests
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/app/WindowUnderX.sh ${CMAKE_CURRENT_BINARY_DIR}/wine-lists
                   $<TARGET_FILE:ui_win_lists_tests>)
  set_tests_properties(ui_win_lists_tests PROPERTIES TIMEOUT 300 PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
                       FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endif()

# --- The dialog framework over Windows's own controls: real windows, so
# under Xvfb in a prefix of its own (see app/WindowUnderX.sh).
if(SONDERIK_WITH_WIN32_UI AND SONDERIK_XVFB_RUN)
  add_executable(ui_win_controls_tests platform/ui/ControlsWinTest.cpp)
  target_link_libraries(ui_win_controls_tests PRIVATE sonderik_ui GTest::gmock GTest::gtest_main)
  add_test(NAME ui_win_controls_tests
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/app/WindowUnderX.sh ${CMAKE_CURRENT_BINARY_DIR}/wine-ui-controls
                   $<TARGET_FILE:ui_win_controls_tests>)
  set_tests_properties(ui_win_controls_tests PROPERTIES TIMEOUT 300)
endif()

# --- The window's tests that are about no one window system
# (SONDERIK_UI_BEHAVIOUR_TESTS, the same files as over Qt), against the
# real dialog over Windows's own controls: under Xvfb, in a prefix of their
# own. They change the program's settings keys, hence the registry lock.
if(SONDERIK_WITH_WIN32_UI AND SONDERIK_XVFB_RUN)
  add_library(sonderik_test_ui STATIC support/UiDriverWin.cpp)
  target_link_libraries(sonderik_test_ui PUBLIC sonderik_ui comctl32 user32)
  add_executable(ui_dialog_behaviour_tests ${SONDERIK_UI_BEHAVIOUR_TESTS} support/UiTestMain.cpp)
  # The resources carry the dialog's icon and the tree's pictures.
  target_link_libraries(ui_dialog_behaviour_tests PRIVATE sonderik_app sonderik_test_ui sonderik_test_midi
                        sonderik_windows_resources GTest::gtest)
  target_compile_definitions(ui_dialog_behaviour_tests PRIVATE SONDERIK_CONTAINER_FIXTURES="Z:${SONDERIK_CONTAINER_FIXTURES}")
  add_dependencies(ui_dialog_behaviour_tests container_fixtures)
  add_test(NAME ui_dialog_behaviour_tests
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/app/WindowUnderX.sh ${CMAKE_CURRENT_BINARY_DIR}/wine-ui-behaviour
                   $<TARGET_FILE:ui_dialog_behaviour_tests>)
  set_tests_properties(ui_dialog_behaviour_tests PROPERTIES TIMEOUT 300 RESOURCE_LOCK sonderik_settings_keys
                       PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]" FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endif()
