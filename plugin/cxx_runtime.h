#pragma once
// The C++ runtime linked into each of our libraries sets aside a reserve for
// throwing exceptions when memory has run out (libstdc++'s emergency pool,
// some 19 KB), allocated when the library loads. The runtime never gives it
// back; its hook for leak checkers does, and a library being unloaded calls
// it last, once none of its code can throw any more.
namespace __gnu_cxx {
void __freeres();
}

inline void releaseCxxRuntimeReserve() { __gnu_cxx::__freeres(); }
