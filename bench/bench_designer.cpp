// The design host's model on a large form: what one frame of the window
// asks of it while the user drags a component among a thousand.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Designer.hpp"
#include "FormFiles.hpp"
#include "LvFltImg.hpp"

namespace {

// A form of Count filter images, 40 to a row, each 20 x 20 on a 24-pixel pitch.
std::string LargeForm(int Count) {
  std::string Text = "object Form1: TForm1\n  Left = 0\n  Top = 0\n  Width = 1008\n  Height = 800\n  Caption = 'Large'\n";
  for (int I = 0; I < Count; ++I)
    Text += "  object LvFilterImage" + std::to_string(I + 1) + ": TLvFilterImage\n    Left = " +
            std::to_string(I % 40 * 24) + "\n    Top = " + std::to_string(I / 40 * 24) +
            "\n    Width = 20\n    Height = 20\n  end\n";
  return Text + "end\n";
}

struct TLarge {
  TLarge() {
    Tool::RegisterFormClasses();
    LvFltImg::Register();
    const auto File = std::filesystem::temp_directory_path() / "bench-designer-large.txt";
    std::ofstream(File) << LargeForm(1000);
    Designer.Open(File.string());
    std::filesystem::remove(File);
  }
  Design::TDesigner Designer;
};

TLarge& Large() {
  static TLarge Form;
  return Form;
}

// Opening the form: reading the file and making a thousand components.
void BM_Open1000(benchmark::State& State) {
  Large();
  const auto File = std::filesystem::temp_directory_path() / "bench-designer-open.txt";
  std::ofstream(File) << LargeForm(1000);
  Design::TDesigner Designer;
  for (auto _ : State) Designer.Open(File.string());
  std::filesystem::remove(File);
}
BENCHMARK(BM_Open1000)->Unit(benchmark::kMillisecond);

// One frame of a drag: the mouse moves a grid step, and the view is drawn.
void BM_DragFrame1000(benchmark::State& State) {
  Design::TDesigner& D = Large().Designer;
  D.Select({"LvFilterImage500"});
  D.MouseDown(19 * 24 + 5, 12 * 24 + 5, false);
  int Step = 0;
  for (auto _ : State) {
    ++Step;
    D.MouseMove(19 * 24 + 5 + (Step % 2) * 8, 12 * 24 + 5);
    benchmark::DoNotOptimize(D.View());
  }
  D.MouseUp(19 * 24 + 5, 12 * 24 + 5);
}
BENCHMARK(BM_DragFrame1000)->Unit(benchmark::kMillisecond);

// A click that selects another component, and the view drawn.
void BM_SelectFrame1000(benchmark::State& State) {
  Design::TDesigner& D = Large().Designer;
  int Step = 0;
  for (auto _ : State) {
    const int I = ++Step % 1000;
    D.MouseDown(I % 40 * 24 + 5, I / 40 * 24 + 5, false);
    D.MouseUp(I % 40 * 24 + 5, I / 40 * 24 + 5);
    benchmark::DoNotOptimize(D.View());
  }
}
BENCHMARK(BM_SelectFrame1000)->Unit(benchmark::kMillisecond);

// The inspector's rows, which the window asks for every frame.
void BM_InspectorRows(benchmark::State& State) {
  Design::TDesigner& D = Large().Designer;
  D.Select({"LvFilterImage500"});
  for (auto _ : State) benchmark::DoNotOptimize(D.Properties());
}
BENCHMARK(BM_InspectorRows)->Unit(benchmark::kMicrosecond);

// One nudge of an arrow key: the edit, checked by reading the form back, and
// kept as the bytes it changed.
void BM_Nudge1000(benchmark::State& State) {
  Design::TDesigner& D = Large().Designer;
  D.Select({"LvFilterImage500"});
  int Step = 0;
  for (auto _ : State) D.Move(++Step % 2 ? 1 : -1, 0);
}
BENCHMARK(BM_Nudge1000)->Unit(benchmark::kMillisecond);

// The same beside a 2000 x 1500 picture, whose 9 MB the form stores.
void BM_NudgeBesidePicture(benchmark::State& State) {
  Tool::RegisterFormClasses();
  LvFltImg::Register();
  Design::TDesigner D;
  D.Place(&Classes::FindClass("TLvFilterImage"), 8, 8);
  Graphics::TBitmap Photo;
  Photo.SetPixelFormat(Graphics::pf24bit);
  Photo.SetSize(2000, 1500);
  const auto File = std::filesystem::temp_directory_path() / "bench-designer-photo.bmp";
  Photo.SaveToFile(File.string());
  D.LoadGraphic("Picture", File.string());
  std::filesystem::remove(File);
  D.Place(&Classes::FindClass("TLvFilterImage"), 200, 200);
  int Step = 0;
  for (auto _ : State) D.Move(++Step % 2 ? 1 : -1, 0);
}
BENCHMARK(BM_NudgeBesidePicture)->Unit(benchmark::kMillisecond);

// Undoing one edit: the form is read back from the state before it.
void BM_Undo1000(benchmark::State& State) {
  Design::TDesigner& D = Large().Designer;
  D.Select({"LvFilterImage500"});
  for (auto _ : State) {
    D.SetProperty("Tag", "1");
    D.Undo();
  }
}
BENCHMARK(BM_Undo1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
