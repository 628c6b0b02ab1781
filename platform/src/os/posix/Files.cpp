#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "Classes.hpp"
#include "os/Os.hpp"

namespace Os {

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

std::string TemporaryNameBeside(const std::string& Target) {
  return Target + ".tmp" + std::to_string(getpid());
}

void ReplaceFile(const std::string& Temporary, const std::string& Target) {
  if (std::rename(Temporary.c_str(), Target.c_str()) != 0) {
    const std::string Reason = std::strerror(errno);
    std::remove(Temporary.c_str());
    throw Classes::EWriteError(Target + ": cannot write: " + Reason);
  }
}

}  // namespace Os
