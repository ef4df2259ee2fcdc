# Tests of the processor, its documents and files, driven through VroCore as hosts drive it.
file(GLOB CORE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/core/*.cpp)
add_executable(core_tests ${CORE_TEST_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/TestMain.cpp)
target_include_directories(core_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(core_tests PRIVATE vro_render GTest::gtest)
vro_own_code(core_tests)
vro_without_gui(core_tests)
gtest_discover_tests(core_tests DISCOVERY_TIMEOUT 120 PROPERTIES LABELS core ENVIRONMENT "VRO_TEST_ROOT=${CMAKE_CURRENT_BINARY_DIR}")

# The VST2 library as a host sees it: dlopen and the entry point, no framework on this side.
add_executable(vst2_host_tests ${CMAKE_CURRENT_SOURCE_DIR}/host/Vst2HostTest.cpp)
target_link_libraries(vst2_host_tests PRIVATE GTest::gtest ${CMAKE_DL_LIBS})
target_compile_definitions(vst2_host_tests PRIVATE
    VRO_VST2_PATH="$<TARGET_FILE:VroDrubbel_VST>" FST_DONT_DEPRECATE_UNKNOWN=1)
add_dependencies(vst2_host_tests VroDrubbel_VST)
gtest_discover_tests(vst2_host_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS host)

# The three plug-in formats loaded through the framework's own hosting. Its processor module is
# compiled once more with plug-in hosting switched on, and the GUI and device modules with it, since
# the plug-in's framework library bundles them with the processor module; the core modules (files,
# threads, messages, audio buffers) come from the library the processor uses.
juce_add_console_app(plugin_host_tests PRODUCT_NAME "plugin_host_tests")
juce_generate_juce_header(plugin_host_tests)
target_sources(plugin_host_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host/PluginHostTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/host/SideBySideTest.cpp ${CMAKE_CURRENT_SOURCE_DIR}/host/DesktopAtoms.cpp)
target_include_directories(plugin_host_tests PRIVATE ${PROJECT_SOURCE_DIR}/cmake/vst2shim)
target_compile_definitions(plugin_host_tests PRIVATE
    JUCE_PLUGINHOST_VST=1 JUCE_PLUGINHOST_VST3=1 JUCE_PLUGINHOST_LV2=1
    VRO_VST2_PATH="$<TARGET_FILE:VroDrubbel_VST>"
    VRO_VST3_PATH="${VRO_PLUGIN_ARTEFACTS}/VST3/VRO Drubbel.vst3"
    VRO_LV2_PATH="${VRO_PLUGIN_ARTEFACTS}/LV2/VRO Drubbel.lv2"
    VRO_LV2_URI="${VRO_LV2_URI}")
target_link_libraries(plugin_host_tests PRIVATE vro_framework_core juce::juce_audio_utils vro_juce_config GTest::gtest X11)
vro_add_juce_module_sources(plugin_host_tests juce_graphics juce_gui_basics juce_gui_extra juce_audio_processors
    juce_audio_devices juce_audio_utils)
add_dependencies(plugin_host_tests VroDrubbel_VST VroDrubbel_VST3 VroDrubbel_LV2)
# The side-by-side session opens the editors, which needs an X display.
set_target_properties(plugin_host_tests PROPERTIES CROSSCOMPILING_EMULATOR ${VRO_WITH_DISPLAY})
gtest_discover_tests(plugin_host_tests DISCOVERY_TIMEOUT 120 PROPERTIES LABELS host)

# Each plug-in binary exports its entry points only, so it shares no code or statics with another
# form of itself or any other plug-in in the host's process.
foreach(form VST:VSTPluginMain,main VST3:GetPluginFactory,ModuleEntry,ModuleExit LV2:lv2_descriptor,lv2ui_descriptor)
    string(REPLACE ":" ";" form ${form})
    list(GET form 0 name)
    list(GET form 1 entries)
    string(REPLACE "," ";" entries ${entries})
    add_test(NAME exported_symbols_${name}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/host/exported-symbols.sh $<TARGET_FILE:VroDrubbel_${name}> ${entries})
    set_tests_properties(exported_symbols_${name} PROPERTIES LABELS host)
endforeach()

# The LV2 bundle names its maker's mail as a URI; a bare address would be read as a file in the bundle.
add_test(NAME lv2_maker_mail_is_a_mailto_uri
         COMMAND sh -c "m=$(grep -h 'foaf:mbox' \"$0\"/*.ttl); echo \"$m\"; [ -n \"$m\" ] && ! echo \"$m\" | grep -qv '<mailto:'"
                 "${VRO_PLUGIN_ARTEFACTS}/LV2/VRO Drubbel.lv2")
set_tests_properties(lv2_maker_mail_is_a_mailto_uri PROPERTIES LABELS host)

# The factory bank as host presets: VST3 presets loaded through the framework's VST3 hosting, and
# the LV2 form and its preset bundle through lilv, as LV2 hosts read them.
if(TARGET VroDrubbel_HostPresets)
    target_compile_definitions(plugin_host_tests PRIVATE
        VRO_VST3_PRESET_FOLDER="${VRO_VST3_PRESET_FOLDER}"
        VRO_FACTORY_BANK="${PROJECT_SOURCE_DIR}/resources/FactoryBank.xml")
    add_dependencies(plugin_host_tests VroDrubbel_HostPresets)

    # A bare VST3 host on the SDK's interfaces that locks as Ardour 7.3 does around a preset load.
    add_executable(vst3_locking_host_tests ${CMAKE_CURRENT_SOURCE_DIR}/host/Vst3LockingHostTest.cpp)
    target_include_directories(vst3_locking_host_tests SYSTEM PRIVATE
        ${JUCE_MODULES_DIR}/juce_audio_processors/format_types/VST3_SDK)
    target_link_libraries(vst3_locking_host_tests PRIVATE GTest::gtest ${CMAKE_DL_LIBS})
    target_compile_definitions(vst3_locking_host_tests PRIVATE
        VRO_VST3_BINARY="$<TARGET_FILE:VroDrubbel_VST3>"
        VRO_VST3_PRESET_FOLDER="${VRO_VST3_PRESET_FOLDER}")
    vro_own_code(vst3_locking_host_tests)
    add_dependencies(vst3_locking_host_tests VroDrubbel_VST3 VroDrubbel_HostPresets)
    gtest_discover_tests(vst3_locking_host_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS host)

    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)
    add_executable(lv2_lilv_tests ${CMAKE_CURRENT_SOURCE_DIR}/host/Lv2LilvTest.cpp)
    target_link_libraries(lv2_lilv_tests PRIVATE vro_core PkgConfig::LILV GTest::gtest)
    target_compile_definitions(lv2_lilv_tests PRIVATE
        VRO_LV2_FOLDER="${VRO_PLUGIN_ARTEFACTS}/LV2"
        VRO_LV2_URI="${VRO_LV2_URI}"
        VRO_FACTORY_BANK="${PROJECT_SOURCE_DIR}/resources/FactoryBank.xml")
    vro_own_code(lv2_lilv_tests)
    add_dependencies(lv2_lilv_tests VroDrubbel_LV2 VroDrubbel_HostPresets)
    gtest_discover_tests(lv2_lilv_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS host)
endif()

# The renderer's pattern export goes through the processor's MIDI writer.
add_test(NAME drubbel_render_export_pattern
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/core/export-pattern.sh $<TARGET_FILE:drubbel-render>)
set_tests_properties(drubbel_render_export_pattern PROPERTIES LABELS tools)

# The renderer's command line as users run it.
add_test(NAME drubbel_render_cli
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/render_cli_test.sh $<TARGET_FILE:drubbel-render>
            ${PROJECT_SOURCE_DIR}/resources/demo/demo.mid)
set_tests_properties(drubbel_render_cli PROPERTIES LABELS tools)

# The renderer in other tunings: Scala files and MIDI Tuning Standard messages.
add_test(NAME drubbel_render_tuning
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/render_tuning_test.sh $<TARGET_FILE:drubbel-render>)
set_tests_properties(drubbel_render_tuning PROPERTIES LABELS tools)

# The layers hold: an include against the grain does not compile. Each probe is one such include,
# built on demand with the include path of the layer it sits in.
foreach(probe EngineIncludesCore:vro_engine:VroCore.h
              EngineIncludesFramework:vro_engine:juce_core/juce_core.h
              CoreIncludesEditor:vro_core:VroComponent.h)
    string(REPLACE ":" ";" probe ${probe})
    list(GET probe 0 name)
    list(GET probe 1 layer)
    list(GET probe 2 header)
    add_library(layer_probe_${name} OBJECT EXCLUDE_FROM_ALL ${CMAKE_CURRENT_SOURCE_DIR}/layers/${name}.cpp)
    target_link_libraries(layer_probe_${name} PRIVATE ${layer})
    add_test(NAME layers_${name}_fails
             COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target layer_probe_${name})
    set_tests_properties(layers_${name}_fails PROPERTIES
        PASS_REGULAR_EXPRESSION "${header}: No such file or directory"
        RESOURCE_LOCK build_tree LABELS layers)
endforeach()
