// Must not compile: the engine is plain C++ and knows nothing above it.
#include "VroCore.h"
