# Small changes to the framework's plug-in wrappers, made at configure time on a copy of
# Debian's sources in the build tree; the wrapper's own translation unit is then left out of the
# format's target. Each change is a literal replacement: a framework whose text differs stops the
# configuration instead of building an unpatched wrapper.
#
#  - VST3: the framework asks the host to re-read every value from inside setComponentState.
#    Ardour 7.3 holds a lock across that call which its restartComponent takes, so choosing a
#    .vstpreset hung it for good. The request is made from the message loop once the call has
#    returned, which gives every host the same refresh.
#  - LV2: the framework decodes a state string whose declared size is negative or beyond its text
#    by allocating that size (a preset or session with "-1." aborted the host with bad_alloc).
#    Such a state is refused before it is decoded; the program stays as it was.
#  - Linux message thread (LV2, VST3): the framework's own loop looked for messages every
#    millisecond, so an idle host process spent about 17 ms of CPU a second on it. It sleeps in the
#    run loop until a message comes, and is woken by one when told to stop.

function(vro_patch_framework_file source output)
    file(READ "${source}" text)
    set(pairs ${ARGN})
    list(LENGTH pairs count)
    math(EXPR last "${count} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET pairs ${i} from_file)
        list(GET pairs ${j} to_file)
        file(READ "${from_file}" from)
        file(READ "${to_file}" to)
        string(FIND "${text}" "${from}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "The framework's ${source} no longer holds the text of ${from_file}; "
                                "check whether the change is still needed and update it.")
        endif()
        string(REPLACE "${from}" "${to}" text "${text}")
    endforeach()
    # Rewritten only when it changes, so a reconfiguration does not rebuild the wrapper.
    file(WRITE "${output}.new" "${text}")
    configure_file("${output}.new" "${output}" COPYONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}" ${pairs})
endfunction()

# Replaces a format's wrapper translation unit by the patched copy of the file it includes.
function(vro_use_patched_wrapper target format wrapper)
    set(client ${JUCE_MODULES_DIR}/juce_audio_plugin_client)
    set(patches ${CMAKE_CURRENT_SOURCE_DIR}/cmake/patches)
    set(output ${CMAKE_BINARY_DIR}/framework-patched/${format}/${wrapper})
    vro_patch_framework_file(${client}/${format}/${wrapper} ${output} ${ARGN})
    set_source_files_properties(${client}/juce_audio_plugin_client_${format}.cpp TARGET_DIRECTORY ${target}
        PROPERTIES HEADER_FILE_ONLY TRUE)
    target_sources(${target} PRIVATE ${output})
    # The copy's relative includes ("../utility/...") resolve against the original's folder.
    target_include_directories(${target} PRIVATE ${client}/${format})
endfunction()

set(patches ${CMAKE_CURRENT_SOURCE_DIR}/cmake/patches)
# Beside the patched wrappers' folders, where their "../utility/" includes find it first.
vro_patch_framework_file(${JUCE_MODULES_DIR}/juce_audio_plugin_client/utility/juce_LinuxMessageThread.h
    ${CMAKE_BINARY_DIR}/framework-patched/utility/juce_LinuxMessageThread.h
    ${patches}/message-thread-loop.from ${patches}/message-thread-loop.to
    ${patches}/message-thread-end.from ${patches}/message-thread-end.to
    ${patches}/message-thread-stop.from ${patches}/message-thread-stop.to)
vro_use_patched_wrapper(VroDrubbel_VST3 VST3 juce_VST3_Wrapper.cpp
    ${patches}/vst3-refresh.from ${patches}/vst3-refresh.to
    ${patches}/vst3-refresher.from ${patches}/vst3-refresher.to)
vro_use_patched_wrapper(VroDrubbel_LV2 LV2 juce_LV2_Client.cpp
    ${patches}/lv2-state.from ${patches}/lv2-state.to
    ${patches}/lv2-message-thread.from ${patches}/lv2-message-thread.to)
