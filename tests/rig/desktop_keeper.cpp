// Keeps the Wine desktop of the test prefix open between test programs.
//
// Wine closes a desktop (and ends its explorer.exe) about a second after the
// last program using it exits, and the next GUI test starts a new explorer
// that inherits that test's output streams: ctest then waits a second for the
// streams to close. cmake/wine-run.sh starts this program once, detached,
// with no streams; it holds the desktop until the server is stopped, or ends
// by itself after ten minutes (the script starts a new one when needed) so
// that nothing stays behind for long.
#include <windows.h>

int main() {
  GetDesktopWindow();  // joins the desktop (starting explorer.exe if needed)
  Sleep(10 * 60 * 1000);
  return 0;
}
