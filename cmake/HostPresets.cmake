# The factory bank as hosts list presets: an LV2 preset bundle beside the plug-in's bundle and one
# VST3 preset per program, written at build time from the embedded bank by a program that runs the
# processor itself (tools/make_host_presets.cpp). scripts/install-and-demo.sh installs them.
add_executable(make_host_presets tools/make_host_presets.cpp)
target_link_libraries(make_host_presets PRIVATE vro_core)
vro_own_code(make_host_presets)
vro_without_gui(make_host_presets)

set(VRO_LV2_PRESET_BUNDLE "${VRO_PLUGIN_ARTEFACTS}/LV2/VRO Drubbel Presets.lv2")
# Per-user VST3 presets live in ~/.vst3/presets/<vendor>/<plug-in>/.
set(VRO_VST3_PRESET_FOLDER "${VRO_PLUGIN_ARTEFACTS}/VST3 Presets/VRO-Velmora/VRO Drubbel")
# The VST3 component's class ID as the framework derives it (JUCE_VST3_CAN_REPLACE_VST2 off): two
# fixed words, then the manufacturer code "Vlmr" and the plug-in code "vDrb".
set(VRO_VST3_CLASS_ID ABCDEF019182FAEB566C6D7276447262)

set(VRO_HOST_PRESETS_STAMP ${CMAKE_CURRENT_BINARY_DIR}/host-presets.stamp)
add_custom_command(OUTPUT ${VRO_HOST_PRESETS_STAMP}
    COMMAND make_host_presets ${VRO_LV2_URI} ${VRO_VST3_CLASS_ID} ${VRO_LV2_PRESET_BUNDLE} ${VRO_VST3_PRESET_FOLDER}
    COMMAND ${CMAKE_COMMAND} -E touch ${VRO_HOST_PRESETS_STAMP}
    DEPENDS make_host_presets ${CMAKE_CURRENT_SOURCE_DIR}/resources/FactoryBank.xml
    COMMENT "Writing the factory bank as LV2 and VST3 host presets"
    VERBATIM)
add_custom_target(VroDrubbel_HostPresets ALL DEPENDS ${VRO_HOST_PRESETS_STAMP})
