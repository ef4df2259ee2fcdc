# The artwork generator and the editor's tests.

# Draws resources/*.png. It links the framework library the processor uses, not the editor, so it
# never depends on the images it writes: cmake --build . --target make_artwork && ./make_artwork ../resources
add_executable(make_artwork ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_artwork.cpp)
target_compile_definitions(make_artwork PRIVATE JUCE_STANDALONE_APPLICATION=1)
target_link_libraries(make_artwork PRIVATE vro_framework_gui)
set_target_properties(make_artwork PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(VRO_BUILD_TESTS)
    add_test(NAME artwork_matches_generator
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/tools/artwork_current_test.sh
                     $<TARGET_FILE:make_artwork> ${CMAKE_CURRENT_SOURCE_DIR}/resources)
    set_tests_properties(artwork_matches_generator PROPERTIES LABELS tools)
endif()

if(VRO_BUILD_TESTS)
    # Editor tests need an X display; the launcher starts a private Xvfb when there is none.
    set(VRO_WITH_DISPLAY ${CMAKE_CURRENT_SOURCE_DIR}/tests/editor/with-display.sh)
    file(GLOB EDITOR_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/editor/*.cpp)
    add_executable(editor_tests ${EDITOR_TEST_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/tests/TestMain.cpp)
    target_include_directories(editor_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR}/editor)
    # The embedded data too, so tests can name an image's cache entry.
    target_link_libraries(editor_tests PRIVATE vro_editor vro_render VroResources GTest::gtest)
    vro_own_code(editor_tests)
    target_compile_definitions(editor_tests PRIVATE VRO_EDITOR_SNAPSHOT_DIR="${CMAKE_BINARY_DIR}/editor-snapshots")
    set_target_properties(editor_tests PROPERTIES CROSSCOMPILING_EMULATOR ${VRO_WITH_DISPLAY})
    gtest_discover_tests(editor_tests DISCOVERY_TIMEOUT 120 PROPERTIES LABELS editor)
endif()

# Opening cost, refresh cost and idle CPU of the editor; run by hand:
# tests/editor/with-display.sh ./editor_bench
add_executable(editor_bench ${CMAKE_CURRENT_SOURCE_DIR}/bench/EditorBench.cpp)
target_link_libraries(editor_bench PRIVATE vro_editor)
vro_own_code(editor_bench)
set_target_properties(editor_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(VRO_BUILD_TESTS)
    add_test(NAME editor_standalone_e2e
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/editor/standalone-e2e.sh
                     "${VRO_PLUGIN_ARTEFACTS}/Standalone/VRO Drubbel" ${CMAKE_BINARY_DIR}/editor-snapshots)
    set_tests_properties(editor_standalone_e2e PROPERTIES TIMEOUT 120 LABELS editor)
    # Plays into the Standalone's JACK MIDI input and listens to what comes back.
    add_executable(jack_midi_probe ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/JackMidiProbe.cpp)
    target_link_libraries(jack_midi_probe PRIVATE jack)
    vro_own_code(jack_midi_probe)
    add_test(NAME standalone_audio_output
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/editor/standalone-jack.sh
                     "${VRO_PLUGIN_ARTEFACTS}/Standalone/VRO Drubbel" $<TARGET_FILE:jack_midi_probe>)
    set_tests_properties(standalone_audio_output PROPERTIES TIMEOUT 120 LABELS host)
endif()
