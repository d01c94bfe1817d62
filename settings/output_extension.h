#pragma once
// The output extension a host may append to an output file name.

// `stored` when it is a usable extension: a dot followed by 1 to 15
// characters that a Windows file name may hold, none of them a path
// separator, colon or wildcard (nor a control character or < > " |), so that
// a host appending it to a name inside its output folder stays in that folder;
// nor may it end in a dot or space, which Windows drops from names.
// Anything else, null included, gives the default ".rm".
const char* usableExtension(const char* stored);
