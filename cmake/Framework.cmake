# JUCE's module targets add their sources to every target that links them, so a module linked by
# two libraries of one program is compiled twice and defined twice. Here the module targets keep
# only their usage requirements (include paths, definitions, system libraries) and each module is
# compiled once, in one of the libraries below.

set(VRO_JUCE_MODULES juce_core juce_events juce_data_structures juce_audio_basics juce_audio_formats
    juce_graphics juce_gui_basics juce_gui_extra juce_audio_processors juce_audio_devices juce_audio_utils)
foreach(module IN LISTS VRO_JUCE_MODULES)
    get_target_property(sources ${module} INTERFACE_SOURCES)
    if(NOT sources)
        set(sources)
    endif()
    set_property(GLOBAL PROPERTY VRO_SOURCES_${module} "${sources}")
    set_property(TARGET ${module} PROPERTY INTERFACE_SOURCES "")
    # Our code sees the framework's headers as system headers: their warnings are not ours to fix.
    get_target_property(includes ${module} INTERFACE_INCLUDE_DIRECTORIES)
    if(includes)
        set_property(TARGET ${module} APPEND PROPERTY INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${includes})
    endif()
endforeach()

# Adds the sources of JUCE modules to a target, for the few targets that compile the framework
# with settings of their own (plug-in hosting tests, the artwork generator).
function(vro_add_juce_module_sources target)
    foreach(module IN LISTS ARGN)
        get_property(sources GLOBAL PROPERTY VRO_SOURCES_${module})
        target_sources(${target} PRIVATE ${sources})
    endforeach()
endfunction()

# The framework settings every part of the plug-in is compiled with.
add_library(vro_juce_config INTERFACE)
target_compile_definitions(vro_juce_config INTERFACE
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_USE_FLAC=0
    JUCE_USE_OGGVORBIS=0
    JUCE_VST3_CAN_REPLACE_VST2=0
    JUCE_DISPLAY_SPLASH_SCREEN=0)

function(vro_framework_library target)
    add_library(${target} STATIC)
    vro_add_juce_module_sources(${target} ${ARGN})
    target_link_libraries(${target} PUBLIC ${ARGN} vro_juce_config)
    # Each function in a section of its own, so that programs without a user interface can leave
    # out the GUI modules' code they never reach (vro_without_gui).
    target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
endfunction()

# Links a program that has no user interface: unreached framework code and the system libraries
# only that code needed are left out. The processor module itself needs a little of the GUI
# modules (see vro_framework_gui); lld decides which libraries are needed after dropping the
# unreached code, GNU ld before, so only lld leaves out the font and image libraries.
find_program(VRO_LLD ld.lld)
function(vro_without_gui target)
    target_link_options(${target} PRIVATE -Wl,--gc-sections -Wl,--as-needed)
    if(VRO_LLD AND NOT WIN32)
        target_link_options(${target} PRIVATE -fuse-ld=lld)
    endif()
endfunction()

# Files, threads, messages, documents, audio buffers and audio files: what the processor needs.
vro_framework_library(vro_framework_core juce_core juce_events juce_data_structures juce_audio_basics
    juce_audio_formats)

# The processor base class. The framework's processor module is one translation unit with the
# editor base class and plug-in hosting in it, and its header includes the GUI modules' headers,
# whose colour constants need the graphics module at link time. So it comes with the GUI modules.
vro_framework_library(vro_framework_gui juce_graphics juce_gui_basics juce_gui_extra juce_audio_processors)
target_link_libraries(vro_framework_gui PUBLIC vro_framework_core)
# Debian's graphics module reads PNG and JPEG through the system libraries (Windows: windows/).
if(TARGET juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
    target_link_libraries(vro_framework_gui PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
endif()

# Audio devices and their settings window, for the Standalone application only.
vro_framework_library(vro_framework_standalone juce_audio_devices juce_audio_utils)
target_link_libraries(vro_framework_standalone PUBLIC vro_framework_gui)
