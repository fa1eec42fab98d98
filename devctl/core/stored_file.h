// Whole-file reads and writes of the unit's small files (identity, host name, markers, network
// configuration), by their absolute unit paths.
#pragma once

#include <string>

// Writes data as the whole content of the file: a temporary file beside it, flushed and renamed
// over it, so a power loss leaves the old or the new content. A symbolic link is followed, so the
// file it names is replaced, not the link. 0, or -1 when the file could not be written.
int WriteStoredFile(const char* unit_path, const std::string& data);

// Reads the first whitespace-separated word of the file. False when the file cannot be opened or
// holds no word; *word is then left as it was.
bool ReadFirstWord(const char* unit_path, std::string* word);

// The first whitespace-separated word of a small file that came from outside (an unpacked
// package): the file is opened without following a link and without waiting (a FIFO never
// blocks), must be a regular file, and at most limit bytes of it are read. False when any of that
// fails or the bytes hold no word; *word is then left as it was.
bool ReadFirstWordOfPlainFile(const char* unit_path, std::string* word, size_t limit = 256);

// True when the file (or directory) exists.
bool UnitFileExists(const char* unit_path);
