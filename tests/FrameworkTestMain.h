#pragma once
// The entry of every test program that runs the framework: HOME and XDG_CONFIG_HOME point at a
// fresh temporary folder, so no test ever touches the real user's settings or presets.
// Include the framework's headers first.

#include <cstdlib>
#include <gtest/gtest.h>

inline int runTestsInTemporaryHome (int argc, char** argv, const char* folderPrefix)
{
    const auto home = juce::File::createTempFile (folderPrefix);
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);

    testing::InitGoogleTest (&argc, argv);
    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juce;
        result = RUN_ALL_TESTS();
    }
    home.deleteRecursively();
    return result;
}
