// lvdesign.exe driven from another process as the user would drive it,
// by window messages: input is posted, in order, and each step polls for
// what it should bring (a sent message would overtake posted input), each
// poll bounded so that a step that never comes fails instead of hanging.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Actions.hpp"
#include "lvdesign/win32/Ids.hpp"
#include "lvdesign/win32/Win32.hpp"

namespace Driver {

namespace fs = std::filesystem;
namespace Ids = Lvdesign::Ids;

// Whether Done became true within the time, asking every 20 ms.
inline bool WaitFor(const std::function<bool()>& Done, std::chrono::milliseconds Within = std::chrono::seconds(15)) {
  for (const auto End = std::chrono::steady_clock::now() + Within; std::chrono::steady_clock::now() < End;) {
    if (Done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return Done();
}

// A window's text, read across processes (the system copies it over).
inline std::wstring TextOf(HWND Window) {
  std::wstring Text(std::size_t(::SendMessageW(Window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  Text.resize(std::size_t(::SendMessageW(Window, WM_GETTEXT, Text.size(), LPARAM(Text.data()))));
  return Text;
}

// A list box's rows, read across processes.
inline std::vector<std::wstring> Lines(HWND List) {
  std::vector<std::wstring> Rows;
  for (int I = 0, Count = int(::SendMessageW(List, LB_GETCOUNT, 0, 0)); I < Count; ++I) {
    std::wstring Row(std::size_t(::SendMessageW(List, LB_GETTEXTLEN, I, 0)) + 1, L'\0');
    Row.resize(std::size_t(::SendMessageW(List, LB_GETTEXT, I, LPARAM(Row.data()))));
    Rows.push_back(Row);
  }
  return Rows;
}

// The process's first visible top-level window of the class.
struct TFind {
  DWORD Process;
  const wchar_t* Class;
  HWND Found = nullptr;
};
inline BOOL CALLBACK FindWindowOf(HWND Window, LPARAM Data) {
  auto& F = *reinterpret_cast<TFind*>(Data);
  DWORD Owner = 0;
  ::GetWindowThreadProcessId(Window, &Owner);
  wchar_t Name[64] = {};
  ::GetClassNameW(Window, Name, 64);
  if (Owner != F.Process || !::IsWindowVisible(Window) || std::wstring(Name) != F.Class) return TRUE;
  F.Found = Window;
  return FALSE;
}
inline HWND WindowOf(DWORD Process, const wchar_t* Class) {
  TFind Find{Process, Class};
  ::EnumWindows(&FindWindowOf, LPARAM(&Find));
  return Find.Found;
}

// A program of the build, run to its end; its exit status.
inline DWORD RunProgram(const std::wstring& CommandLine) {
  STARTUPINFOW Startup{sizeof Startup};
  PROCESS_INFORMATION Process{};
  std::wstring Line = CommandLine;
  if (!::CreateProcessW(nullptr, Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
    return DWORD(-1);
  ::WaitForSingleObject(Process.hProcess, 120000);
  DWORD Status = DWORD(-1);
  ::GetExitCodeProcess(Process.hProcess, &Status);
  ::CloseHandle(Process.hThread);
  ::CloseHandle(Process.hProcess);
  return Status;
}

// lvdesign's window, open until the test ends.
class TDesigner {
public:
  explicit TDesigner(const std::wstring& Arguments = L"") {
    STARTUPINFOW Startup{sizeof Startup};
    std::wstring Line = L"lvdesign.exe " + Arguments;
    if (!::CreateProcessW(nullptr, Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &FProcess))
      throw std::runtime_error("cannot start lvdesign.exe");
    WaitFor([&] { return (FMain = WindowOf(FProcess.dwProcessId, Ids::MainClass)) != nullptr; }, std::chrono::seconds(60));
    if (!FMain) throw std::runtime_error("lvdesign.exe shows no window");
  }
  ~TDesigner() {
    ::TerminateProcess(FProcess.hProcess, 0);
    ::WaitForSingleObject(FProcess.hProcess, 10000);
    ::CloseHandle(FProcess.hThread);
    ::CloseHandle(FProcess.hProcess);
  }
  TDesigner(const TDesigner&) = delete;
  TDesigner& operator=(const TDesigner&) = delete;

  HWND Main() const { return FMain; }
  HWND Control(int Id) const { return ::GetDlgItem(FMain, Id); }
  DWORD Process() const { return FProcess.dwProcessId; }
  // A menu command, as a click on its item posts it.
  void Command(int Id) const { ::PostMessageW(FMain, WM_COMMAND, WPARAM(Id), 0); }
  void Action(const std::string& Verb) const { Command(Ids::Action + int(Design::FindAction(Verb) - Design::Actions().data())); }
  std::wstring Status() const { return TextOf(Control(Ids::StatusBar)); }
  // The inspector's row of Path: "Path<TAB>Value", or empty.
  std::wstring Row(const std::wstring& Path) const {
    for (const std::wstring& Line : Lines(Control(Ids::Rows)))
      if (Line.rfind(Path + L"\t", 0) == 0) return Line;
    return L"";
  }
  bool Shows(const std::wstring& Path, const std::wstring& Value) const {
    return WaitFor([&] { return Row(Path) == Path + L"\t" + Value; });
  }
  // The row chosen, as a click on it chooses it; answers its editor.
  HWND Choose(const std::wstring& Path) const {
    const auto Rows = Lines(Control(Ids::Rows));
    for (std::size_t I = 0; I < Rows.size(); ++I)
      if (Rows[I].rfind(Path + L"\t", 0) == 0) {
        ::SendMessageW(Control(Ids::Rows), LB_SETCURSEL, I, 0);
        ::SendMessageW(FMain, WM_COMMAND, MAKEWPARAM(Ids::Rows, LBN_SELCHANGE), LPARAM(Control(Ids::Rows)));
        return Control(Ids::Editor);
      }
    return nullptr;
  }
  // Typed into the row's field and entered, a key at a time.
  void Type(const std::wstring& Path, const std::wstring& Text) const {
    const HWND Field = Choose(Path);
    ASSERT_TRUE(Field) << "no field for " << std::string(Path.begin(), Path.end());
    ::SendMessageW(Field, EM_SETSEL, 0, -1);
    for (wchar_t C : Text) ::PostMessageW(Field, WM_CHAR, C, 1);
    ::PostMessageW(Field, WM_KEYDOWN, VK_RETURN, 1);
  }
  // A choice picked from the row's list.
  void Pick(const std::wstring& Path, const std::wstring& Choice) const {
    const HWND List = Choose(Path);
    ASSERT_TRUE(List);
    const LRESULT Index = ::SendMessageW(List, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(Choice.c_str()));
    ASSERT_NE(Index, CB_ERR);
    ::SendMessageW(List, CB_SETCURSEL, WPARAM(Index), 0);
    ::PostMessageW(FMain, WM_COMMAND, MAKEWPARAM(Ids::Editor, CBN_SELCHANGE), LPARAM(List));
  }
  // A drag with the left button on the form view, from and to points of
  // the form's client area.
  void Drag(POINT From, POINT To) const {
    // Where the view shows the form's client area: past its margin, frame and caption.
    const auto At = [](POINT P) { return MAKELPARAM(P.x + 20, P.y + 42); };
    const HWND View = Control(Ids::FormView);
    ::PostMessageW(View, WM_LBUTTONDOWN, MK_LBUTTON, At(From));
    ::PostMessageW(View, WM_MOUSEMOVE, MK_LBUTTON, At({(From.x + To.x) / 2, (From.y + To.y) / 2}));
    ::PostMessageW(View, WM_MOUSEMOVE, MK_LBUTTON, At(To));
    ::PostMessageW(View, WM_LBUTTONUP, 0, At(To));
  }

private:
  PROCESS_INFORMATION FProcess{};
  HWND FMain = nullptr;
};

}  // namespace Driver
