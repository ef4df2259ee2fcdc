// Must not compile: the engine is plain C++, without the framework.
#include <juce_core/juce_core.h>
