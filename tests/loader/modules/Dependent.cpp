// A plain module that uses the package without being one: loading it as a
// package must be refused, though the package's entry points are within
// its reach.
#include "Export.hpp"
#include "LvFltImg.hpp"

EXPORT int Darken(int Value) { return LvFltImg::FitinRange(Value - 255); }
