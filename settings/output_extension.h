#pragma once
// The output extension a host may append to an output file name, and the
// rules for the characters of a Windows file name that it follows.

// `stored` when it is a usable extension: a dot followed by 1 to 15
// characters that a Windows file name may hold, none of them a path
// separator, colon or wildcard (nor a control character or < > " |), so that
// a host appending it to a name inside its output folder stays in that folder;
// nor may it end in a dot or space, which Windows drops from names.
// Anything else, null included, gives the default (kDefaultExtension,
// settings_catalogue.h).
const char* usableExtension(const char* stored);
// The rule above in a few words, for a listing of the settings.
extern const char kExtensionRule[];

// False for the bytes of the ANSI code page that no Windows file name holds:
// control characters, path separators, the colon and < > " | ? *. Bytes above
// 0x7F are allowed; a double-byte character whose second byte is 0x5C ('\')
// is refused with it, which errs on the safe side.
bool allowedInFileName(char c);

// True for a name's last character that Windows drops (a dot or a space), so
// that the name would read as another.
bool droppedAtNameEnd(char last);
