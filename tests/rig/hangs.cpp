// Never ends: waits for an event that nothing sets. cmake/wine-run.sh's
// watchdog must report it and end it.
#include <windows.h>

int main() { return int(WaitForSingleObject(CreateEventA(nullptr, TRUE, FALSE, nullptr), INFINITE)); }
