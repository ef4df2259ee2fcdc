# The plug-in in four formats, plus the tools and tests that link its shared code.
find_package(JUCE CONFIG REQUIRED)

# Debian ships the VST2 interface as fst; a two-header shim gives it the layout JUCE expects.
juce_set_vst2_sdk_path(${CMAKE_CURRENT_SOURCE_DIR}/cmake/vst2shim)

set(VRO_LV2_URI "https://velmora.example.com/plugins/vro-drubbel")

# The Windows cross build ships the VST2 library alone (cmake/windows/).
if(WIN32)
    set(VRO_PLUGIN_FORMATS VST)
else()
    set(VRO_PLUGIN_FORMATS VST VST3 LV2 Standalone)
endif()

juce_add_plugin(VroDrubbel
    PRODUCT_NAME "VRO Drubbel"
    COMPANY_NAME "VRO-Velmora"
    COMPANY_WEBSITE "https://velmora.example.com"
    COMPANY_EMAIL "support@velmora.example.com"
    PLUGIN_MANUFACTURER_CODE Vlmr
    PLUGIN_CODE vDrb
    VERSION ${VRO_VERSION}
    IS_SYNTH TRUE
    NEEDS_MIDI_INPUT TRUE
    NEEDS_MIDI_OUTPUT TRUE
    IS_MIDI_EFFECT FALSE
    EDITOR_WANTS_KEYBOARD_FOCUS FALSE
    VST2_CATEGORY kPlugCategSynth
    VST3_CATEGORIES Instrument Synth
    LV2URI ${VRO_LV2_URI}
    FORMATS ${VRO_PLUGIN_FORMATS}
    COPY_PLUGIN_AFTER_BUILD FALSE)

juce_generate_juce_header(VroDrubbel)

file(GLOB CORE_SOURCES CONFIGURE_DEPENDS core/*.cpp core/*.h)
file(GLOB_RECURSE EDITOR_SOURCES CONFIGURE_DEPENDS editor/*.cpp editor/*.h)
target_sources(VroDrubbel PRIVATE ${CORE_SOURCES} ${EDITOR_SOURCES})
target_include_directories(VroDrubbel PUBLIC core editor ${CMAKE_CURRENT_SOURCE_DIR})

file(GLOB RESOURCE_FILES CONFIGURE_DEPENDS resources/*.png resources/*.xml)
if(RESOURCE_FILES)
    juce_add_binary_data(VroResources SOURCES ${RESOURCE_FILES})
    target_link_libraries(VroDrubbel PRIVATE VroResources)
    target_compile_definitions(VroDrubbel PUBLIC VRO_HAS_RESOURCES=1)
endif()
# The factory bank, unpacked into the preset folder on first use (tools/make_factory_bank.py).
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/resources/FactoryBank.xml)
    target_compile_definitions(VroDrubbel PUBLIC VRO_HAS_FACTORY_BANK=1)
endif()

target_compile_definitions(VroDrubbel
    PUBLIC
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_USE_FLAC=0
        JUCE_USE_OGGVORBIS=0
        JUCE_VST3_CAN_REPLACE_VST2=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        # Debian's JUCE 7.0.5 drops the LV2URI argument without this definition.
        JucePlugin_VSTChunkStructureVersion=100
        JucePlugin_LV2URI="${VRO_LV2_URI}"
        VRO_VERSION_STRING="${VRO_VERSION}")

target_link_libraries(VroDrubbel
    PUBLIC
        vro_engine
        juce::juce_recommended_config_flags
    PRIVATE
        juce::juce_audio_utils
        juce::juce_recommended_warning_flags)

# Tools, tests and benchmarks link the compiled shared code and see the module headers and
# definitions the way the format wrappers do, instead of compiling the modules again.
add_library(vro_plugin_code INTERFACE)
target_link_libraries(vro_plugin_code INTERFACE VroDrubbel)
target_include_directories(vro_plugin_code INTERFACE $<TARGET_PROPERTY:VroDrubbel,INCLUDE_DIRECTORIES>)
target_compile_definitions(vro_plugin_code INTERFACE $<TARGET_PROPERTY:VroDrubbel,COMPILE_DEFINITIONS>)
# The processor implements the index-based parameter interface that hosts see, which JUCE marks deprecated.
target_compile_options(VroDrubbel PRIVATE -O2 -Wno-deprecated-declarations)

# Command-line tools link the plug-in's shared code, so they run exactly what hosts run.
add_library(vro_render STATIC tools/RenderSession.cpp)
target_include_directories(vro_render PUBLIC tools)
target_link_libraries(vro_render PUBLIC vro_plugin_code)
target_compile_options(vro_render PRIVATE -O2)

add_executable(drubbel-render tools/drubbel_render.cpp)
target_link_libraries(drubbel-render PRIVATE vro_render)
target_compile_options(drubbel-render PRIVATE -O2)

set(VRO_PLUGIN_ARTEFACTS ${CMAKE_BINARY_DIR}/VroDrubbel_artefacts/${CMAKE_BUILD_TYPE})

# The wrapper sets effFlagsNoSoundInStop only for effects; our own entry points add it for this
# tail-less synth. The framework's entry is renamed in its translation unit (and its "main" alias
# dropped), and core/vst2/Vst2Entry.cpp exports VSTPluginMain and main around it.
target_sources(VroDrubbel_VST PRIVATE core/vst2/Vst2Entry.cpp)
target_compile_definitions(VroDrubbel_VST PRIVATE VRO_VST2_ENTRY=1)
set_source_files_properties(${JUCE_MODULES_DIR}/juce_audio_plugin_client/juce_audio_plugin_client_VST2.cpp
    TARGET_DIRECTORY VroDrubbel_VST
    PROPERTIES COMPILE_OPTIONS "-include;${CMAKE_CURRENT_SOURCE_DIR}/core/vst2/RenameFrameworkEntry.h")
include(${CMAKE_CURRENT_LIST_DIR}/Editor.cmake)

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/windows/Windows.cmake)
endif()
