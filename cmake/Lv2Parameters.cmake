# The LV2 form's description, written by the framework's helper after each link, lists every
# parameter as writable. The session's switches and actions (the parameters no program stores:
# isSessionParameter in core/ParameterTable.h) are taken out of that list, so LV2 hosts neither
# automate nor restore them, as the VST2 and VST3 forms mark them not automatable.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VRO_SESSION_PARAMETER_IDS param00 param06 param07 param09 param44 param53 param55 param58)
add_custom_command(TARGET VroDrubbel_LV2 POST_BUILD
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/lv2_session_parameters.py
            "$<TARGET_FILE_DIR:VroDrubbel_LV2>/dsp.ttl" ${VRO_SESSION_PARAMETER_IDS}
    VERBATIM)
