# Tests of the processor, its documents and files, driven through VroCore as hosts drive it.
file(GLOB CORE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/core/*.cpp)
add_executable(core_tests ${CORE_TEST_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/TestMain.cpp)
target_include_directories(core_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(core_tests PRIVATE vro_render GTest::gtest)
gtest_discover_tests(core_tests DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT "VRO_TEST_ROOT=${CMAKE_CURRENT_BINARY_DIR}")

# The VST2 library as a host sees it: dlopen and the entry point, no framework on this side.
add_executable(vst2_host_tests ${CMAKE_CURRENT_SOURCE_DIR}/host/Vst2HostTest.cpp)
target_link_libraries(vst2_host_tests PRIVATE GTest::gtest ${CMAKE_DL_LIBS})
target_compile_definitions(vst2_host_tests PRIVATE
    VRO_VST2_PATH="$<TARGET_FILE:VroDrubbel_VST>" FST_DONT_DEPRECATE_UNKNOWN=1)
add_dependencies(vst2_host_tests VroDrubbel_VST)
gtest_discover_tests(vst2_host_tests DISCOVERY_TIMEOUT 60)
