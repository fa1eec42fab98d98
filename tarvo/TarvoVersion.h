// The version text every tool prints for -v.
#pragma once

// "netaudio_examples : v<tag>:<type>:<8-digit commit hash>", in a static 256-byte buffer
// rewritten on every call.
extern "C" const char* getVersionInfo();
