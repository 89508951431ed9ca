# The tests that run on Windows (under wine when cross-built): those not
# about Linux, against the system's real services. A wine start costs a
# second or two, so each test program is one CTest entry, not one per case.

function(sonderik_windows_test target)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT 300)
endfunction()

# The sources as the tests see them under wine, whose drive Z: is the root
# of the machine that builds: a path of that machine means nothing there
# unless the current drive happens to be Z:. Windows takes '/' between names
# as well, and it passes through a compiler's command line unharmed.
set(SONDERIK_WINDOWS_SOURCE_DIR "Z:${PROJECT_SOURCE_DIR}")

add_library(sonderik_test_support STATIC
  support/VoiceFileBuilder.cpp
  support/TempDir.cpp
)
target_link_libraries(sonderik_test_support PUBLIC sonderik_voice)

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
sonderik_windows_test(settings_tests)

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

# The scripted driver fails the running test on a call it was not told of.
add_library(sonderik_test_midi STATIC support/ScriptedMidiDriver.cpp)
target_link_libraries(sonderik_test_midi PUBLIC sonderik_platform_midi GTest::gtest)

# The MIDI layer, its devices and the winmm driver, against a scripted
# winmm and the real one.
add_executable(midi_layer_tests
  platform/midi/MidiLayerTest.cpp
  platform/midi/StreamDevicesTest.cpp
  platform/midi/WinmmMidiDriverTest.cpp
)
target_link_libraries(midi_layer_tests PRIVATE sonderik_test_midi sonderik_simulator_driver GTest::gtest_main)
sonderik_windows_test(midi_layer_tests)
