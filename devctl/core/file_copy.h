// File copy and folder clearing, by absolute unit paths.
#pragma once

// Copies src to dst byte for byte. dst is replaced whole (temporary file, flush, rename), so a
// failed copy leaves the old dst. 0, or -1 when src cannot be read or dst cannot be written.
int CopyTextFile(const char* src, const char* dst);

// Removes every regular file directly in dir; subfolders and other entries stay, and so does an
// entry whose path would be longer than 255 characters. 1 when dir cannot be opened, else 0.
int RemoveFilesInDir(const char* dir);

// Clears the stored configuration of the network-audio module.
void ClearTarvoConfigDir();
