#pragma once
#include <string>

// Path helpers on the wide forms of Windows paths.

// Absolute Windows form of a path (Wine maps "/tmp/x" to "Z:\tmp\x").
std::wstring fullPathOf(const std::wstring& path);

// The folder part of a path, without its last separator ("" for a bare name).
std::wstring folderOf(const std::wstring& path);

// The ANSI code page form of the path's short (8.3) name, which has only
// ANSI characters when the file system gives short names. False without one.
bool ansiShortPathOf(const std::wstring& path, std::string& ansi);

// `path` with its file name spelled as the file system has it: Windows names
// ignore case, so a file replaced under another case keeps its own name.
// `path` itself when there is no such file.
std::wstring pathAsStored(const std::wstring& path);

// True when `a` and `b` name two files (or folders), as two names that differ
// only in case do on a case-sensitive disk (a Unix folder seen through Wine);
// false when they name one, or when either cannot be opened.
bool areTwoFiles(const std::wstring& a, const std::wstring& b);
