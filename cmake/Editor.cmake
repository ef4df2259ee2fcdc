# The artwork generator and the editor's tests.

# Draws resources/*.png. It links only the graphics modules, so it never depends on the images it
# writes: cmake --build . --target make_artwork && ./make_artwork ../resources
juce_add_console_app(make_artwork PRODUCT_NAME "make_artwork")
target_sources(make_artwork PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_artwork.cpp)
target_compile_definitions(make_artwork PRIVATE JUCE_USE_CURL=0 JUCE_WEB_BROWSER=0 JUCE_STANDALONE_APPLICATION=1)
target_link_libraries(make_artwork PRIVATE juce::juce_graphics juce::juce_recommended_config_flags)
