#pragma once
// The file operations that give a session its own temporary file and the
// output name at completion, one thin file per platform.
//
// A temporary file claims its output name from its creation until it has
// been given the output name or removed: its writer holds it open the whole
// time, renaming or removing it while still open, so no other session ever
// sees it unheld and takes it for a leftover.
#include <cstdio>
#include <string>

// Creates `path` only if no file of that name exists, open for reading and
// writing (binary). While it is open, removeUnusedFile on it fails. Null on
// failure; nameTaken then tells whether a file of that name was in the way.
FILE* createNewFile(const std::string& path, bool& nameTaken);

// Removes `path` if nothing holds it open (left behind by a process that
// ended without cleaning up). True when no file of that name is left; false
// when it is in use or cannot be removed.
bool removeUnusedFile(const std::string& path);

// Gives the file `from`, still held open by its writer from createNewFile,
// the name `to` in one step, replacing a file of that name, so that readers
// of `to` see the old file or the new one, never a mix. A `to` that a reader
// holds open is waited for a little while before the replace counts as failed.
bool replaceFile(const std::string& from, const std::string& to);

// Removes the file `path` that its writer still holds open from createNewFile.
void removeHeldFile(const std::string& path);
