# The Windows VST2 library, cross-built with MinGW-w64 (toolchain-mingw.cmake, scripts/build-windows.sh).

# Debian's JUCE reads PNG, JPEG and zlib data through the system libraries instead of its
# compiled-in copies; the cross build links the same libraries, built for the target.
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
target_link_libraries(vro_framework_core PUBLIC ZLIB::ZLIB)
target_link_libraries(vro_framework_gui PUBLIC PNG::PNG JPEG::JPEG)
# Debian's juce_core also asks for zlib by its plain name.
get_filename_component(zlib_dir ${ZLIB_LIBRARY} DIRECTORY)
target_link_directories(VroDrubbel_VST PRIVATE ${zlib_dir})

# Hosts look for "VRO Drubbel.dll"; MinGW would name the module libVRO Drubbel.dll.
set_target_properties(VroDrubbel_VST PROPERTIES PREFIX "")

# JUCE exports main only for 32-bit MSVC; the module-definition file exports both names.
target_sources(VroDrubbel_VST PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VroDrubbel.def)

# fst, Debian's VST2 interface header, sits among the Linux headers, which a MinGW build must not
# search as a whole: scripts/build-windows.sh copies its folder beside the target's libraries.
find_path(VRO_FST_INCLUDE_DIR pluginterfaces/fst/fst.h REQUIRED)
target_include_directories(VroDrubbel_VST PRIVATE ${VRO_FST_INCLUDE_DIR})
