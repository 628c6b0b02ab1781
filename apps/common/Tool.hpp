// What the programs share: one table of exit statuses, the mapping of
// failures onto it, and strict parsing of numeric options.
#pragma once

#include <exception>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "System.hpp"

namespace Tool {

enum TExitStatus {
  ExitDone = 0,
  ExitFailed = 1,    // anything else, such as an output that cannot be written
  ExitBadInput = 2,  // bad usage, or an input that cannot be read or is no picture or package
  ExitDeclined = 3,  // the conversion to 24-bit colour was declined
};

// A file name (UTF-8, as every name in the programs) as the standard
// library's path, and back: on Windows a narrow path would be taken in the
// ANSI code page.
std::filesystem::path PathOf(const std::string& FileName);
std::string Utf8Of(const std::filesystem::path& Path);

// Makes the program's std::cout and std::cerr write their UTF-8 as the
// system shows it (SysUtils::WriteStandardText): on Windows every character
// on a console. Elsewhere they stay as they are.
void UseStandardText();

// The package beside the programs' modules: beside the program on
// Windows, ../lib in a build tree, the modules' own folder in an installed
// one. Where none is found, the installed place, for errors to name.
std::string DefaultPackage();

// The package version, as --version shows it.
extern const char* const Version;

// The table as --help shows it, for a program that asks whether to convert
// a picture or for one that converts none and so never declines.
std::string ExitStatusHelp(bool AsksToConvert);
// The limits on what a program reads, as --help shows them.
std::string LimitsHelp();

// A fault of the usage or of an input, found by the program itself.
struct TBadInput : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An output of a run: what it is ("output", "screenshot", "stored form")
// and the file it names.
struct TOutput {
  std::string Role, FileName;
};
// Refuses (TBadInput) two outputs that name the same file however they
// spell it: through "." or "..", a link, another case on a system whose
// names ignore case, or a second name of the same file. Empty names are
// no outputs.
void RefuseSharedOutputs(const std::vector<TOutput>& Outputs);

// Refuses a picture of no pixels, naming the file it came from.
void RefuseEmptyPicture(const std::string& FileName, int Width, int Height);

// Runs Step, naming FileName in the failure when memory runs out in it, so
// that the message says what could not be done rather than how.
template <class F>
auto NamingMemory(const std::string& FileName, F Step) {
  try {
    return Step();
  } catch (const std::bad_alloc&) {
    throw System::EOutOfMemory(FileName + ": out of memory");
  }
}

// The status a failure maps to.
TExitStatus ExitStatusFor(const std::exception& E);
// Prints "<tool>: <message>" on standard error and answers the status.
int Report(const char* ToolName, const std::exception& E);

// A whole decimal number with an optional sign, nothing else (no octal, no
// hexadecimal, no blanks, not empty), within [Min, Max]. Raises TBadInput
// naming the option.
long ParseInteger(const std::string& Option, const std::string& Text, long Min, long Max);
// WIDTHxHEIGHT in decimal, each side within 0..MaxSide.
std::pair<int, int> ParseSize(const std::string& Option, const std::string& Text, int MaxSide);

// How pictures are written, from --quality (1 to 100) and --compression
// (fast, default or best); "" where the option was not given.
void SetSaveOptions(const std::string& Quality, const std::string& Compression);
extern const char* const QualityHelp;
extern const char* const CompressionHelp;

}  // namespace Tool
