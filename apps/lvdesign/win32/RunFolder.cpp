#include "RunFolder.hpp"

#include <stdexcept>

#include "SysUtils.hpp"
#include "Wide.hpp"
#include "Win32.hpp"

#include <bcrypt.h>
#include <sddl.h>

namespace Lvdesign {

namespace {

[[noreturn]] void Fail(const std::string& What, const std::string& Doing, DWORD Error) {
  throw std::runtime_error(What + ": cannot " + Doing + ": " + SysUtils::SysErrorMessage(Error));
}

std::string TemporaryFolder() {
  wchar_t Path[MAX_PATH + 2] = {};
  const DWORD Length = ::GetTempPathW(MAX_PATH + 1, Path);
  if (Length == 0 || Length > MAX_PATH + 1) Fail("the temporary folder", "find it", ::GetLastError());
  std::string Folder = Narrow(std::wstring_view(Path, Length));
  if (!Folder.empty() && (Folder.back() == '\\' || Folder.back() == '/')) Folder.pop_back();
  return Folder;
}

// An access list that lets this user, and no one else, do anything with
// the folder and what is made in it; nothing inherited from the parent.
class TOwnerOnly {
public:
  TOwnerOnly() {
    HANDLE Token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &Token)) Fail("this user", "be found", ::GetLastError());
    DWORD Size = 0;
    ::GetTokenInformation(Token, TokenUser, nullptr, 0, &Size);
    std::string User(Size, '\0');
    wchar_t* Sid = nullptr;
    const bool Found = ::GetTokenInformation(Token, TokenUser, User.data(), Size, &Size) &&
                       ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(User.data())->User.Sid, &Sid);
    const DWORD Error = ::GetLastError();
    ::CloseHandle(Token);
    if (!Found) Fail("this user", "be found", Error);
    const std::wstring Descriptor = L"D:P(A;OICI;FA;;;" + std::wstring(Sid) + L")";
    ::LocalFree(Sid);
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(Descriptor.c_str(), SDDL_REVISION_1, &FDescriptor,
                                                                nullptr))
      Fail("this user", "be given a folder of their own", ::GetLastError());
    FAttributes = {sizeof FAttributes, FDescriptor, FALSE};
  }
  ~TOwnerOnly() { ::LocalFree(FDescriptor); }
  TOwnerOnly(const TOwnerOnly&) = delete;
  TOwnerOnly& operator=(const TOwnerOnly&) = delete;
  SECURITY_ATTRIBUTES* Attributes() { return &FAttributes; }

private:
  PSECURITY_DESCRIPTOR FDescriptor = nullptr;
  SECURITY_ATTRIBUTES FAttributes{};
};

std::string RandomName() {
  unsigned char Bytes[12];
  if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, Bytes, sizeof Bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    throw std::runtime_error("cannot make a folder for the form to run: the system gives no random numbers");
  static const char Digits[] = "0123456789abcdefghijklmnopqrstuv";
  std::string Name = "lvdesign-run-";
  for (unsigned char B : Bytes) Name += Digits[B % 32];
  return Name;
}

HANDLE Handle(std::intptr_t Folder) { return reinterpret_cast<HANDLE>(Folder); }

}  // namespace

TRunFolder::TRunFolder(std::string Parent) : FParent(Parent.empty() ? TemporaryFolder() : std::move(Parent)) {}

TRunFolder::~TRunFolder() {
  if (FFolder == -1) return;
  // Only what is in the folder goes; the folder cannot have been replaced
  // while held open.
  const std::wstring Folder = Widen(FPath);
  WIN32_FIND_DATAW Entry;
  const HANDLE Listing = ::FindFirstFileW((Folder + L"\\*").c_str(), &Entry);
  if (Listing != INVALID_HANDLE_VALUE) {
    do {
      if (!(Entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((Folder + L"\\" + Entry.cFileName).c_str());
    } while (::FindNextFileW(Listing, &Entry));
    ::FindClose(Listing);
  }
  ::CloseHandle(Handle(FFolder));
  ::RemoveDirectoryW(Folder.c_str());
}

void TRunFolder::Make() {
  TOwnerOnly Access;
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string Path = FParent + "\\" + RandomName();
    const std::wstring Wide = Widen(Path);
    // Fails rather than use anything already there.
    if (!::CreateDirectoryW(Wide.c_str(), Access.Attributes())) {
      if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
      Fail(FParent, "make a folder for the form to run", ::GetLastError());
    }
    // Held without letting anyone delete or rename it, and never through a
    // link put in its place.
    const HANDLE Folder = ::CreateFileW(Wide.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr);
    if (Folder == INVALID_HANDLE_VALUE) {
      const DWORD Error = ::GetLastError();
      ::RemoveDirectoryW(Wide.c_str());
      Fail(Path, "open the folder", Error);
    }
    FFolder = reinterpret_cast<std::intptr_t>(Folder);
    FPath = Path;
    return;
  }
  Fail(FParent, "make a folder for the form to run", ERROR_ALREADY_EXISTS);
}

std::string TRunFolder::Write(std::span<const std::uint8_t> Bytes) {
  if (FFolder == -1) Make();
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string File = FPath + "\\form" + std::to_string(++FCount) + ".dfm";
    const std::wstring Wide = Widen(File);
    // This user's alone, as the folder, where a system gives no list of its own.
    TOwnerOnly Access;
    const HANDLE Out = ::CreateFileW(Wide.c_str(), GENERIC_WRITE, 0, Access.Attributes(), CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (Out == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      Fail(File, "write", ::GetLastError());
    }
    DWORD Error = 0;
    for (std::span<const std::uint8_t> Left = Bytes; !Left.empty() && Error == 0;) {
      DWORD Written = 0;
      const DWORD Chunk = DWORD(std::min<std::size_t>(Left.size(), 1u << 30));
      if (!::WriteFile(Out, Left.data(), Chunk, &Written, nullptr)) Error = ::GetLastError();
      else if (Written == 0) Error = ERROR_WRITE_FAULT;
      else Left = Left.subspan(Written);
    }
    if (!::CloseHandle(Out) && Error == 0) Error = ::GetLastError();
    if (Error != 0) {
      ::DeleteFileW(Wide.c_str());
      Fail(File, "write", Error);
    }
    return File;
  }
  Fail(FPath, "write a form there", ERROR_FILE_EXISTS);
}

}  // namespace Lvdesign
