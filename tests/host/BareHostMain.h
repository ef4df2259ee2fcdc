#pragma once
// The main of a test host that loads the plug-in's binaries with no framework of its own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

/** Runs the tests in a throw-away home, so the plug-in's settings and presets never touch the real
    user folders, and skips unloading the plug-in's framework at exit: its threads may still be
    winding down. */
inline int runBareHostTests (int argc, char** argv, const char* folderPrefix)
{
    std::string folder = std::string ("/tmp/") + folderPrefix + "-XXXXXX";
    if (mkdtemp (folder.data()) == nullptr)
        return 1;
    setenv ("HOME", folder.c_str(), 1);
    setenv ("XDG_CONFIG_HOME", (folder + "/.config").c_str(), 1);
    testing::InitGoogleTest (&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::system (("rm -rf '" + folder + "'").c_str());
    std::_Exit (result);
}
