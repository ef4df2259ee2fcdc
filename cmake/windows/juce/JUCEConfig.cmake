# Debian's JUCE package, for a Windows target. Its own version file turns down any build that is
# not 64-bit and a cross build does not search the host's /usr/lib, so this forwarding config
# loads it directly; the modules are plain sources and juceaide stays the native tool.
# scripts/build-windows.sh names the host's package folder (VRO_HOST_JUCE_DIR).
set(VRO_HOST_JUCE_CONFIG ${VRO_HOST_JUCE_DIR}/JUCEConfig.cmake)
if(NOT EXISTS ${VRO_HOST_JUCE_CONFIG})
    message(FATAL_ERROR "No JUCE package at VRO_HOST_JUCE_DIR='${VRO_HOST_JUCE_DIR}'")
endif()
file(READ ${VRO_HOST_JUCE_CONFIG} host_config)
string(REGEX MATCH "set\\(JUCE_MODULES_DIR \"([^\"]+)\"" found "${host_config}")
set(host_modules ${CMAKE_MATCH_1})
if(NOT host_modules)
    message(FATAL_ERROR "${VRO_HOST_JUCE_CONFIG}: no JUCE_MODULES_DIR")
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # JUCE 7 gives 32-bit MinGW a COM interface-ID lookup of its own, which does not compile for
    # the accessibility interfaces; MinGW's __uuidof, which the 64-bit build uses, serves 32-bit
    # as well. The modules are copied with that one condition changed and the config points at them.
    set(modules ${CMAKE_BINARY_DIR}/juce-modules)
    set(header ${modules}/juce_core/native/juce_win32_ComSmartPtr.h)
    if(NOT EXISTS ${header})
        file(COPY ${host_modules}/ DESTINATION ${modules})
        file(READ ${header} text)
        string(REPLACE "#if (JUCE_MINGW && JUCE_32BIT) || (! defined (_MSC_VER)" "#if (! defined (_MSC_VER)" patched "${text}")
        if(patched STREQUAL text)
            message(FATAL_ERROR "${header}: the 32-bit MinGW COM condition was not found")
        endif()
        file(WRITE ${header} "${patched}")
    endif()
    get_filename_component(host_dir ${VRO_HOST_JUCE_CONFIG} DIRECTORY)
    file(GLOB helpers ${host_dir}/LV2_HELPER*.cmake)
    file(COPY ${helpers} DESTINATION ${CMAKE_BINARY_DIR}/juce-config)
    string(REPLACE "${host_modules}" "${modules}" text "${host_config}")
    file(WRITE ${CMAKE_BINARY_DIR}/juce-config/JUCEConfig.cmake "${text}")
    set(VRO_HOST_JUCE_CONFIG ${CMAKE_BINARY_DIR}/juce-config/JUCEConfig.cmake)
endif()

include(${VRO_HOST_JUCE_CONFIG})
