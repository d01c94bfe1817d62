#pragma once
// True when `name` (ANSI) can name the output file: it is not empty, does not
// end in a folder separator and names no existing folder. The engine would
// find either out only when it writes the file, after all the audio came.
bool namesAFile(const char* name);
