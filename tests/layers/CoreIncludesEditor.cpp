// Must not compile: the processor knows nothing of its editor.
#include "VroComponent.h"
