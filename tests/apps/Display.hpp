// Programs with windows, as the window tests run them: a virtual X display
// of the test's own and a program in the background on it.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <thread>

#include "Programs.hpp"

namespace Programs {

inline bool Installed(const char* Program) { return Shell(std::string("command -v ") + Program).Status == 0; }

// A virtual X display of the given size for the length of a test, at the
// first free number from First on.
class TVirtualDisplay {
public:
  explicit TVirtualDisplay(const char* Screen = "640x480x24", int First = 91) {
    for (int Number = First; Number < First + 8 && !FServer; ++Number) {
      if (fs::exists("/tmp/.X11-unix/X" + std::to_string(Number))) continue;
      FName = ":" + std::to_string(Number);
      FServer = fork();
      if (FServer == 0) {
        const int Null = open("/dev/null", O_RDWR);
        for (int Stream : {0, 1, 2}) dup2(Null, Stream);
        execlp("Xvfb", "Xvfb", FName.c_str(), "-screen", "0", Screen, "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int Wait = 0; Wait < 500 && !Ready(); ++Wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!Ready()) Stop();
    }
  }
  ~TVirtualDisplay() { Stop(); }
  bool Ready() const { return FServer > 0 && Shell("DISPLAY=" + FName + " xdotool getmouselocation").Status == 0; }
  const std::string& Name() const { return FName; }

private:
  void Stop() {
    if (FServer > 0) {
      kill(FServer, SIGTERM);
      waitpid(FServer, nullptr, 0);
    }
    FServer = 0;
  }
  pid_t FServer = 0;
  std::string FName;
};

// A program started in the background, its output in a file. The command
// line must exec the program, so that signals reach it.
class TBackground {
public:
  TBackground(const std::string& Command, const std::string& Log) : FLog(Log) {
    FProcess = fork();
    if (FProcess == 0) {
      const int Out = open(Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(Out, 1);
      dup2(Out, 2);
      execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TBackground() {
    if (FProcess > 0) {
      kill(FProcess, SIGKILL);
      waitpid(FProcess, nullptr, 0);
    }
  }
  // The wait status, or -1 when it is still running after Seconds.
  int Wait(double Seconds) {
    for (int Step = 0; Step < Seconds * 100; ++Step) {
      int Status = 0;
      if (waitpid(FProcess, &Status, WNOHANG) == FProcess) {
        FProcess = 0;
        return Status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  void Signal(int Number) const { kill(FProcess, Number); }
  pid_t Process() const { return FProcess; }
  std::string Output() const {
    std::ifstream In(FLog);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  }

private:
  pid_t FProcess = 0;
  std::string FLog;
};

}  // namespace Programs
