#pragma once
// Forced into the framework's VST2 wrapper only: its entry becomes an internal function that our
// own VSTPluginMain and main wrap, and its "main" alias label is dropped.
#define VSTPluginMain vroFrameworkVstEntry
#define asm(label)
