// Test entry for everything that needs the framework: points HOME and XDG_CONFIG_HOME at a fresh
// temporary folder, so no test ever touches the real user's settings or presets.
#include "TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main (int argc, char** argv)
{
    const auto home = juce::File::createTempFile ("vro-home");
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
