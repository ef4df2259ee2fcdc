#pragma once
// Where the plug-ins under test are: the build's own, unless the environment names others under
// the same name, as the Debian package's check does for the installed ones.
#include <cstdlib>

inline const char* pluginPath (const char* variable, const char* built)
{
    const char* other = std::getenv (variable);
    return other != nullptr && *other != '\0' ? other : built;
}

// VRO_PATH (VRO_VST3_PATH) is the built-in path, or $VRO_VST3_PATH when that is set.
#define VRO_PATH(name) pluginPath (#name, name)
