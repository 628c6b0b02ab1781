// The blend and its neighbours against the speed of memory, in one run.
// Every case restores its input untimed before the timed pass, so repeated
// darkening never drives the picture to black and flatters the code.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "Forms.hpp"
#include "LvFltImg.hpp"

#if defined(TESSORIN_HAVE_OPENCV)
#include <opencv2/core.hpp>
#endif

using namespace Graphics;
using Clock = std::chrono::steady_clock;

namespace {

std::unique_ptr<TBitmap> Noise(int Side, TPixelFormat Format, unsigned Seed) {
  auto Bitmap = std::make_unique<TBitmap>();
  Bitmap->SetPixelFormat(Format);
  Bitmap->SetSize(Side, Side);
  std::mt19937 Random(Seed);
  const std::size_t RowBytes = std::size_t(Side) * std::size_t(BitsPerPixel(Format)) / 8;
  for (int Y = 0; Y < Side; ++Y) {
    std::uint8_t* Row = Bitmap->ScanLine(Y);
    for (std::size_t I = 0; I < RowBytes; ++I) Row[I] = std::uint8_t(Random());
  }
  return Bitmap;
}

// Copies the rows of From into To, both 24-bit of one size.
void Restore(TBitmap& To, TBitmap& From) {
  const std::size_t RowBytes = std::size_t(From.Width()) * 3;
  for (int Y = 0; Y < From.Height(); ++Y) std::memcpy(To.ScanLine(Y), From.ScanLine(Y), RowBytes);
}

double Seconds(Clock::time_point Start) { return std::chrono::duration<double>(Clock::now() - Start).count(); }

std::int64_t PictureBytes(const benchmark::State& State) { return State.range(0) * State.range(0) * 3; }

// The component on a form, its picture and working filter prepared. The
// form is hidden unless Shown, and a hidden form paints nothing.
struct TScene {
  Forms::TForm Form{nullptr};
  LvFltImg::TLvFilterImage* Image = new LvFltImg::TLvFilterImage(&Form);
  std::unique_ptr<TBitmap> Original, Filter;

  TScene(int Side, bool Shown) : Original(Noise(Side, pf24bit, 1)), Filter(Noise(Side, pf24bit, 2)) {
    Image->SetParent(&Form);
    Image->Picture()->SetBitmap(Original.get());
    Image->SetBounds(0, 0, Side, Side);
    Image->SetFilterBitMap(Filter.get());
    Form.SetClientSize(Side, Side);
    if (Shown) Form.Show();
  }
};

void FilterCase(benchmark::State& State, bool Shown) {
  TScene Scene(int(State.range(0)), Shown);
  for (auto _ : State) {
    Restore(*Scene.Image->Picture()->Bitmap(), *Scene.Original);
    const auto Start = Clock::now();
    Scene.Image->Filter(0, 0);
    State.SetIterationTime(Seconds(Start));
  }
  State.SetBytesProcessed(State.iterations() * PictureBytes(State));
}

void BM_Filter(benchmark::State& State) { FilterCase(State, false); }
void BM_FilterShown(benchmark::State& State) { FilterCase(State, true); }

void BM_Repaint(benchmark::State& State) {
  TScene Scene(int(State.range(0)), true);
  for (auto _ : State) Scene.Image->Refresh();
  State.SetBytesProcessed(State.iterations() * PictureBytes(State));
}

void BM_Memcpy(benchmark::State& State) {
  const std::size_t Bytes = std::size_t(PictureBytes(State));
  std::vector<std::uint8_t> From(Bytes, 1), To(Bytes, 2);
  for (auto _ : State) {
    const auto Start = Clock::now();
    std::memcpy(To.data(), From.data(), Bytes);
    benchmark::DoNotOptimize(To.data());
    benchmark::ClobberMemory();
    State.SetIterationTime(Seconds(Start));
  }
  State.SetBytesProcessed(State.iterations() * PictureBytes(State));
}

// The plain loop: one channel at a time, through FitinRange's formula.
void BM_Scalar(benchmark::State& State) {
  auto Picture = Noise(int(State.range(0)), pf24bit, 1);
  auto Original = Noise(int(State.range(0)), pf24bit, 1);
  auto Inverted = Noise(int(State.range(0)), pf24bit, 2);
  for (auto _ : State) {
    Restore(*Picture, *Original);
    const auto Start = Clock::now();
    const int Width = Picture->Width(), Height = Picture->Height();
    for (int Y = 0; Y < Height; ++Y) {
      std::uint8_t* P = Picture->ScanLine(Y);
      const std::uint8_t* W = Inverted->ScanLine(Y);
      for (int X = 0; X < Width; ++X)
        for (int C = 2; C >= 0; --C) {
          const int V = P[3 * X + C] - W[3 * X + C];
          P[3 * X + C] = std::uint8_t(V > 255 ? 255 : V < 0 ? 0 : V);
        }
    }
    benchmark::ClobberMemory();
    State.SetIterationTime(Seconds(Start));
  }
  State.SetBytesProcessed(State.iterations() * PictureBytes(State));
}

#if defined(TESSORIN_HAVE_OPENCV)
void BM_OpenCV(benchmark::State& State) {
  const int Side = int(State.range(0));
  auto Picture = Noise(Side, pf24bit, 1);
  auto Original = Noise(Side, pf24bit, 1);
  auto Inverted = Noise(Side, pf24bit, 2);
  // Views over the bitmaps' own rows: ascending rows walk memory forwards.
  const std::size_t Stride = std::size_t(Picture->ScanLine(1) - Picture->ScanLine(0));
  cv::Mat P(Side, Side, CV_8UC3, Picture->ScanLine(0), Stride);
  cv::Mat W(Side, Side, CV_8UC3, Inverted->ScanLine(0), Stride);
  for (auto _ : State) {
    Restore(*Picture, *Original);
    const auto Start = Clock::now();
    cv::subtract(P, W, P);
    State.SetIterationTime(Seconds(Start));
  }
  State.SetBytesProcessed(State.iterations() * PictureBytes(State));
}
#endif

void BM_SetFilterBitMap(benchmark::State& State) {
  TScene Scene(int(State.range(0)), false);
  for (auto _ : State) Scene.Image->SetFilterBitMap(Scene.Filter.get());
  State.SetBytesProcessed(State.iterations() * PictureBytes(State));
}

// A viewer that stamps different filters: two of one size, assigned in
// turn, each prepared anew.
void BM_SetFilterBitMapInTurn(benchmark::State& State) {
  TScene Scene(int(State.range(0)), false);
  const auto Other = Noise(int(State.range(0)), pf24bit, 4);
  bool First = true;
  for (auto _ : State) {
    Scene.Image->SetFilterBitMap(First ? Scene.Filter.get() : Other.get());
    First = !First;
  }
  State.SetBytesProcessed(State.iterations() * PictureBytes(State));
}

void BM_Convert8To24(benchmark::State& State) {
  auto Source = Noise(int(State.range(0)), pf8bit, 3);
  for (auto _ : State) {
    TBitmap Picture;
    Picture.Assign(Source.get());
    Picture.SetPixelFormat(pf24bit);
    benchmark::DoNotOptimize(Picture.ScanLine(0));
  }
  // Counted as the 24-bit bytes written, to set beside Memcpy.
  State.SetBytesProcessed(State.iterations() * PictureBytes(State));
}

}  // namespace

#define SIDES ->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Memcpy)->Name("Memcpy") SIDES->UseManualTime();
BENCHMARK(BM_Filter)->Name("Filter") SIDES->UseManualTime();
BENCHMARK(BM_FilterShown)->Name("FilterShown") SIDES->UseManualTime();
BENCHMARK(BM_Repaint)->Name("Repaint") SIDES;
BENCHMARK(BM_Scalar)->Name("Scalar") SIDES->UseManualTime();
#if defined(TESSORIN_HAVE_OPENCV)
BENCHMARK(BM_OpenCV)->Name("OpenCV") SIDES->UseManualTime();
#endif
BENCHMARK(BM_SetFilterBitMap)->Name("SetFilterBitMap") SIDES;
BENCHMARK(BM_SetFilterBitMapInTurn)->Name("SetFilterBitMapInTurn") SIDES;
BENCHMARK(BM_Convert8To24)->Name("Convert8To24") SIDES;

BENCHMARK_MAIN();
