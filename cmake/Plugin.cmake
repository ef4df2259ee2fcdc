# The processor (core/), the editor (editor/) and the plug-in in four formats, each layer a library
# that links only the layer below it: engine <- core <- editor <- plug-in. Tools, tests and
# benchmarks of the processor link core alone.
find_package(JUCE CONFIG REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/Framework.cmake)

# Debian ships the VST2 interface as fst; a two-header shim gives it the layout JUCE expects.
juce_set_vst2_sdk_path(${CMAKE_CURRENT_SOURCE_DIR}/cmake/vst2shim)

set(VRO_LV2_URI "https://velmora.example.com/plugins/vro-drubbel")

# ---------------------------------------------------------------- core: the processor, no user interface
file(GLOB CORE_SOURCES CONFIGURE_DEPENDS core/*.cpp core/*.h)
add_library(vro_core STATIC ${CORE_SOURCES})
target_include_directories(vro_core PUBLIC core)
target_link_libraries(vro_core PUBLIC vro_engine vro_framework_gui)
target_compile_definitions(vro_core PUBLIC VRO_VERSION_STRING="${VRO_VERSION}")
vro_own_code(vro_core)
target_link_libraries(vro_core PRIVATE juce::juce_recommended_warning_flags)
# The processor implements the index-based parameter interface that hosts see, which JUCE marks deprecated.
set_source_files_properties(core/VroCore.cpp PROPERTIES COMPILE_OPTIONS -Wno-deprecated-declarations)

# The factory bank, unpacked into the preset folder on first use (tools/make_factory_bank.py).
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/resources/FactoryBank.xml)
    juce_add_binary_data(VroFactoryBank HEADER_NAME FactoryBankData.h NAMESPACE FactoryBankData
        SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources/FactoryBank.xml)
    target_link_libraries(vro_core PRIVATE VroFactoryBank)
    target_compile_definitions(vro_core PUBLIC VRO_HAS_FACTORY_BANK=1)
endif()

# ---------------------------------------------------------------- editor: the user interface
file(GLOB_RECURSE EDITOR_SOURCES CONFIGURE_DEPENDS editor/*.cpp editor/*.h)
add_library(vro_editor STATIC ${EDITOR_SOURCES})
target_include_directories(vro_editor PUBLIC editor)
target_link_libraries(vro_editor PUBLIC vro_core)
vro_own_code(vro_editor)
target_link_libraries(vro_editor PRIVATE juce::juce_recommended_warning_flags)

file(GLOB ARTWORK_FILES CONFIGURE_DEPENDS resources/*.png)
if(ARTWORK_FILES)
    juce_add_binary_data(VroResources SOURCES ${ARTWORK_FILES})
    target_link_libraries(vro_editor PRIVATE VroResources)
    target_compile_definitions(vro_editor PRIVATE VRO_HAS_RESOURCES=1)
endif()

# ---------------------------------------------------------------- the plug-in
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
    # A URI: the LV2 description reads it as foaf:mbox, the VST3 factory as its e-mail field.
    COMPANY_EMAIL "mailto:support@velmora.example.com"
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

target_sources(VroDrubbel PRIVATE plugin/PluginEntry.cpp)
set_source_files_properties(plugin/PluginEntry.cpp PROPERTIES COMPILE_OPTIONS "${VRO_WARNING_FLAGS}")
target_compile_definitions(VroDrubbel
    PUBLIC
        # Debian's JUCE 7.0.5 drops the LV2URI argument without this definition.
        JucePlugin_VSTChunkStructureVersion=100
        JucePlugin_LV2URI="${VRO_LV2_URI}")

# The framework is compiled with the plug-in's identity as well: its windows give screen readers
# the plug-in's name and the Standalone build decides what a window shows.
get_target_property(plugin_definitions VroDrubbel COMPILE_DEFINITIONS)
list(FILTER plugin_definitions INCLUDE REGEX "^JucePlugin_")
foreach(framework vro_framework_core vro_framework_gui vro_framework_standalone)
    target_compile_definitions(${framework} PRIVATE ${plugin_definitions})
endforeach()
target_link_libraries(VroDrubbel PRIVATE vro_editor vro_framework_standalone)

set(VRO_PLUGIN_ARTEFACTS ${CMAKE_BINARY_DIR}/VroDrubbel_artefacts/${CMAKE_BUILD_TYPE})

# The wrapper sets effFlagsNoSoundInStop only for effects; our own entry points add it for this
# tail-less synth. The framework's entry is renamed in its translation unit (and its "main" alias
# dropped), and plugin/vst2/Vst2Entry.cpp exports VSTPluginMain and main around it.
target_sources(VroDrubbel_VST PRIVATE plugin/vst2/Vst2Entry.cpp)
# fst notes its guessed names with #warning, which even a system header cannot keep quiet.
set_source_files_properties(plugin/vst2/Vst2Entry.cpp TARGET_DIRECTORY VroDrubbel_VST
    PROPERTIES COMPILE_OPTIONS "${VRO_WARNING_FLAGS};-Wno-cpp")
target_compile_definitions(VroDrubbel_VST PRIVATE VRO_VST2_ENTRY=1)
set_source_files_properties(${JUCE_MODULES_DIR}/juce_audio_plugin_client/juce_audio_plugin_client_VST2.cpp
    TARGET_DIRECTORY VroDrubbel_VST
    PROPERTIES COMPILE_OPTIONS "-include;${CMAKE_CURRENT_SOURCE_DIR}/plugin/vst2/RenameFrameworkEntry.h")

# The Standalone reaches JACK as well as ALSA, with MIDI ports of its own there, and its
# application class says in the window's title when no audio output could be opened.
if(NOT WIN32)
    target_compile_definitions(vro_framework_standalone PUBLIC JUCE_JACK=1)
    target_sources(VroDrubbel_Standalone PRIVATE plugin/StandaloneApp.cpp plugin/StandaloneJackMidi.cpp)
    set_source_files_properties(plugin/StandaloneApp.cpp plugin/StandaloneJackMidi.cpp TARGET_DIRECTORY VroDrubbel_Standalone
        PROPERTIES COMPILE_OPTIONS "${VRO_WARNING_FLAGS}")
    target_compile_definitions(VroDrubbel_Standalone PRIVATE JUCE_USE_CUSTOM_PLUGIN_STANDALONE_APP=1)
endif()

# Each plug-in binary exports its entry points only (Exports.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/Exports.cmake)

# The VST3 and LV2 wrappers with two changes for hosts (FrameworkPatches.cmake).
if(NOT WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/FrameworkPatches.cmake)
endif()

# ---------------------------------------------------------------- tools
# Command-line tools run the processor exactly as hosts do, without the editor.
add_library(vro_render STATIC tools/RenderSession.cpp tools/MidiFileReader.cpp)
target_include_directories(vro_render PUBLIC tools)
target_link_libraries(vro_render PUBLIC vro_core)
vro_own_code(vro_render)

add_executable(drubbel-render tools/drubbel_render.cpp)
target_link_libraries(drubbel-render PRIVATE vro_render)
vro_own_code(drubbel-render)
vro_without_gui(drubbel-render)

include(${CMAKE_CURRENT_LIST_DIR}/Editor.cmake)

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/windows/Windows.cmake)
endif()
