#pragma once
// The file operations that give a session its own temporary file and the
// output name at completion, one thin file per platform.
#include <cstdio>
#include <string>

// Creates `path` only if no file of that name exists, open for reading and
// writing (binary). While it is open, removeUnusedFile on it fails. Null on
// failure; nameTaken then tells whether a file of that name was in the way.
FILE* createNewFile(const std::string& path, bool& nameTaken);

// Removes `path` if nothing holds it open (left behind by a process that
// ended without cleaning up). False when it is in use or cannot be removed.
bool removeUnusedFile(const std::string& path);

// Gives the file `from` the name `to` in one step, replacing a file of that
// name, so that readers of `to` see the old file or the new one, never a mix.
bool replaceFile(const std::string& from, const std::string& to);
