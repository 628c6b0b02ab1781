// The seam to the operating system. Nothing else in the platform includes a
// system header.
#pragma once

#include <cstdint>
#include <string>

#include "Windows.hpp"

namespace Os {

// Native handles: numbered objects whose lifetime is counted, so tests can
// see that nothing leaks.
enum class THandleKind { Bitmap, Window };
Windows::HANDLE CreateHandle(THandleKind Kind);
bool DestroyHandle(Windows::HANDLE Handle);
int LiveHandleCount(THandleKind Kind);

bool StdinIsTerminal();

// Renames a finished temporary file over the target, atomically.
void ReplaceFile(const std::string& Temporary, const std::string& Target);
std::string TemporaryNameBeside(const std::string& Target);

}  // namespace Os
