#include "netaudio_soundcard/src/tsoundcard_logging.h"

NetaudioSoundcardBufferLog::NetaudioSoundcardBufferLog(const char* path)
    : mPath(path != nullptr ? path : "") {}

void NetaudioSoundcardBufferLog::logWriteEvent(unsigned, unsigned) {}

void NetaudioSoundcardBufferLog::logReadEvent(unsigned, unsigned) {}
