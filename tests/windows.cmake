# The tests that run on Windows (under wine when cross-built): those not
# about Linux, against the system's real services. A wine start costs a
# second or two, so each test program is one CTest entry, not one per case.

function(sonderik_windows_test target)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT 300)
endfunction()

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
target_compile_definitions(voice_tests PRIVATE SONDERIK_DEMO_FILE="${PROJECT_SOURCE_DIR}/examples/demo.s1v")
sonderik_windows_test(voice_tests)

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
