#pragma once
#include <cstdio>
#include <string>

// plughost keeps every text in UTF-8 and turns it into UTF-16 only where it
// calls Windows, so names outside the ANSI code page survive.
std::wstring widened(const std::string& utf8);
std::string narrowedToUtf8(const std::wstring& wide);

// The ANSI code page form of `wide`, for the plug-in's char interface. False
// when a character has no exact ANSI form (no best-fit substitutes).
bool ansiFormOf(const std::wstring& wide, std::string& ansi);
std::wstring widenedFromAnsi(const std::string& ansi);

// Writes UTF-8 text to stdout or stderr: WriteConsoleW on a console, which
// shows every character whatever the console's code page; the UTF-8 bytes
// themselves, lines ending in LF alone, into a pipe or file, which loses
// nothing and is what readers on the other end (scripts, Unix tools under
// Wine) expect.
void writeText(std::FILE* stream, const std::string& utf8);
