// A plain module that uses the package without being one: loading it as a
// package must be refused, though the package's entry points are within
// its reach.
#include "LvFltImg.hpp"

#ifdef _WIN32
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
int Darken(int Value) { return LvFltImg::FitinRange(Value - 255); }
