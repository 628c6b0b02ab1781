// Text between the framework, which holds UTF-8, and the system, whose
// Unicode calls take UTF-16: names of files, the system's messages, the
// program's arguments and what it writes to the console.
#include "SysUtils.hpp"
#include "os/Os.hpp"
#include "os/win32/Win32.hpp"
// After Win32.hpp, which sets up <windows.h> for it.
#include <shellapi.h>

namespace Os::Win32 {

std::wstring Wide(const std::string& Utf8) {
  std::wstring Out(std::size_t(::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), int(Utf8.size()), nullptr, 0)), L'\0');
  if (!Out.empty()) ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), int(Utf8.size()), Out.data(), int(Out.size()));
  return Out;
}

std::string Utf8(std::wstring_view Text) {
  const int Length = int(Text.size());
  std::string Out(std::size_t(::WideCharToMultiByte(CP_UTF8, 0, Text.data(), Length, nullptr, 0, nullptr, nullptr)), '\0');
  if (!Out.empty()) ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), Length, Out.data(), int(Out.size()), nullptr, nullptr);
  return Out;
}

std::wstring FilePath(const std::string& Utf8) {
  std::wstring Path = Wide(Utf8);
  // A folder's full path must leave room for a file name of 8.3 characters.
  constexpr std::size_t Classic = MAX_PATH - 12;
  const DWORD Needed = ::GetFullPathNameW(Path.c_str(), 0, nullptr, nullptr);
  if (Needed <= Classic || Path.rfind(L"\\\\?\\", 0) == 0) return Path;
  std::wstring Full(Needed, L'\0');
  Full.resize(::GetFullPathNameW(Path.c_str(), Needed, Full.data(), nullptr));
  if (Full.empty() || Full.rfind(L"\\\\.\\", 0) == 0 || Full.rfind(L"\\\\?\\", 0) == 0) return Path;
  if (Full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + Full.substr(2);
  return L"\\\\?\\" + Full;
}

std::wstring FullPath(const std::string& Utf8) {
  const std::wstring Path = Wide(Utf8);
  std::wstring Full(::GetFullPathNameW(Path.c_str(), 0, nullptr, nullptr), L'\0');
  Full.resize(Full.empty() ? 0 : ::GetFullPathNameW(Path.c_str(), DWORD(Full.size()), Full.data(), nullptr));
  return Full;
}

std::string ErrorText(DWORD Error) {
  // A call that failed without saying why is not reported as a success.
  if (Error == 0) return "the system gave no reason";
  wchar_t* Text = nullptr;
  const DWORD Length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Error,
      0, reinterpret_cast<LPWSTR>(&Text), 0, nullptr);
  std::string Result = Length ? Utf8({Text, Length}) : "error " + std::to_string(Error);
  if (Text) ::LocalFree(Text);
  while (!Result.empty() && (Result.back() == '\n' || Result.back() == '\r' || Result.back() == ' ' || Result.back() == '.'))
    Result.pop_back();
  return Result;
}

}  // namespace Os::Win32

namespace SysUtils {

std::string SysErrorMessage(unsigned Error) { return Os::Win32::ErrorText(Error); }

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  // The narrow arguments are in the ANSI code page, where a name outside
  // it has already become question marks; the wide ones hold every name.
  int Count = 0;
  wchar_t** Wide = ::CommandLineToArgvW(::GetCommandLineW(), &Count);
  std::vector<std::string> Arguments;
  if (!Wide || Count != argc) {
    if (Wide) ::LocalFree(Wide);
    return {argv, argv + argc};
  }
  for (int I = 0; I < Count; ++I) Arguments.push_back(Os::Win32::Utf8(Wide[I]));
  ::LocalFree(Wide);
  return Arguments;
}

bool SameFileName(std::string_view A, std::string_view B) {
  const std::wstring WideA = Os::Win32::Wide(std::string(A)), WideB = Os::Win32::Wide(std::string(B));
  return ::CompareStringOrdinal(WideA.data(), int(WideA.size()), WideB.data(), int(WideB.size()), TRUE) == CSTR_EQUAL;
}

namespace {

// A window program has no standard handles unless its parent gave it some
// (a pipe, a file); started from a console, it writes to that console.
HANDLE StandardHandle(int Stream) {
  const DWORD Which = Stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
  HANDLE Handle = ::GetStdHandle(Which);
  if (Handle && Handle != INVALID_HANDLE_VALUE) return Handle;
  static const bool Attached = ::AttachConsole(ATTACH_PARENT_PROCESS) != 0;
  if (!Attached) return nullptr;
  Handle = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (Handle == INVALID_HANDLE_VALUE) return nullptr;
  ::SetStdHandle(Which, Handle);
  return Handle;
}

}  // namespace

void WriteStandardText(int Stream, std::string_view Text) {
  HANDLE Handle = StandardHandle(Stream);
  if (!Handle || Text.empty()) return;
  const std::wstring Wide = Os::Win32::Wide(std::string(Text));
  DWORD Mode = 0, Done = 0;
  // A console shows every character it is given as UTF-16, whatever its
  // code page; a file or pipe takes the console's code page, which is
  // UTF-8 where the user chose it.
  if (::GetConsoleMode(Handle, &Mode)) {
    ::WriteConsoleW(Handle, Wide.data(), DWORD(Wide.size()), &Done, nullptr);
    return;
  }
  const UINT CodePage = ::GetConsoleOutputCP();
  std::string Bytes(Text);
  if (CodePage != 0 && CodePage != CP_UTF8) {
    Bytes.resize(std::size_t(::WideCharToMultiByte(CodePage, 0, Wide.data(), int(Wide.size()), nullptr, 0, nullptr, nullptr)));
    ::WideCharToMultiByte(CodePage, 0, Wide.data(), int(Wide.size()), Bytes.data(), int(Bytes.size()), nullptr, nullptr);
  }
  for (std::size_t At = 0; At < Bytes.size(); At += Done)
    if (!::WriteFile(Handle, Bytes.data() + At, DWORD(Bytes.size() - At), &Done, nullptr) || Done == 0) return;
}

}  // namespace SysUtils
