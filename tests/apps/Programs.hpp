// The programs as their users run them: whole processes, their exit
// statuses, what they print and what they leave on disk.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "Graphics.hpp"

namespace Programs {

namespace fs = std::filesystem;

struct TResult {
  int Status = -1;     // the exit status; -1 when a signal ended it
  std::string Output;  // stdout and stderr together
};

// Runs a shell command line with no terminal on standard input.
inline TResult Shell(const std::string& Command) {
  TResult Result;
  FILE* Pipe = popen(("exec 2>&1 </dev/null; " + Command).c_str(), "r");
  std::array<char, 4096> Buffer;
  while (std::size_t N = fread(Buffer.data(), 1, Buffer.size(), Pipe)) Result.Output.append(Buffer.data(), N);
  const int Raw = pclose(Pipe);
  Result.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
  return Result;
}

inline std::string Quoted(const std::string& Text) {
  std::string Out = "'";
  for (char C : Text) Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Out + "'";
}

inline int Lines(const std::string& Text) { return int(std::count(Text.begin(), Text.end(), '\n')); }

// A file's whole content.
inline std::string Content(const std::string& File) {
  std::ifstream In(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// A scratch folder of the test's own, with small pictures in it.
class TProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::path(testing::TempDir()) / ("programs-" + std::to_string(::getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Save(Path("picture24.bmp"), Graphics::pf24bit, Graphics::RGB(200, 100, 50));
    Save(Path("picture8.bmp"), Graphics::pf8bit, Graphics::RGB(255, 255, 255));
    Save(Path("filter.png"), Graphics::pf24bit, Graphics::RGB(0, 255, 128));
  }
  void TearDown() override {
    std::error_code Ignored;
    fs::permissions(Dir, fs::perms::owner_all, fs::perm_options::add, Ignored);
    fs::remove_all(Dir, Ignored);
  }

  std::string Path(const std::string& Name) const { return (Dir / Name).string(); }
  std::string Q(const std::string& Name) const { return Quoted(Path(Name)); }

  static void Save(const std::string& File, Graphics::TPixelFormat Format, Graphics::TColor Colour, int W = 6,
                   int H = 4) {
    Graphics::TBitmap Bitmap;
    Bitmap.SetPixelFormat(Graphics::pf24bit);
    Bitmap.SetSize(W, H);
    Bitmap.Canvas()->Brush.Color = Colour;
    Bitmap.Canvas()->FillRect(Graphics::Rect(0, 0, W, H));
    Bitmap.SetPixelFormat(Format);
    Bitmap.SaveToFile(File);
  }

  std::vector<std::string> Listing() const {
    std::vector<std::string> Names;
    for (const auto& Entry : fs::directory_iterator(Dir)) Names.push_back(Entry.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }

  fs::path Dir;
};

const std::string Lvfilter = LVFILTER_PATH;
const std::string Pkgtool = PKGTOOL_PATH;
#if defined(LVVIEW_PATH)
const std::string Lvview = LVVIEW_PATH;
#endif

}  // namespace Programs
