# Each plug-in binary exports its entry points and nothing else. A host loads many plug-ins into one
# process, among them other builds of this framework or this plug-in in another format, and the
# dynamic loader binds an exported name to the first binary that defines it (a "unique" symbol even
# across RTLD_LOCAL): one binary would run the other's code on its own statics. Hidden visibility
# keeps compiled code from exporting anything, including inline functions and template statics;
# the version script names the entry points; --exclude-libs covers archives compiled elsewhere.
# Windows DLLs export only what the module-definition file names (windows/VroDrubbel.def).
if(NOT WIN32)
    foreach(target vro_engine vro_framework_core vro_framework_gui vro_framework_standalone vro_core
                   vro_editor VroFactoryBank VroResources VroDrubbel VroDrubbel_Standalone)
        if(TARGET ${target})
            set_target_properties(${target} PROPERTIES
                C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
        endif()
    endforeach()
    foreach(format VST VST3 LV2)
        set(map ${CMAKE_CURRENT_LIST_DIR}/exports/${format}.map)
        set_target_properties(VroDrubbel_${format} PROPERTIES
            C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
            LINK_DEPENDS ${map})
        target_link_options(VroDrubbel_${format} PRIVATE
            -Wl,--version-script=${map} -Wl,--exclude-libs,ALL)
    endforeach()
endif()
