// The system's codecs behind the answers Linux gives: a damaged PNG is
// refused naming its fault, in libpng's words where the walk in front of
// the codec finds it, never as a file of an unknown format; the JPEG walk
// survives its fuzzer's seeds and reproducers.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Classes.hpp"
#include "Graphics.hpp"
#include "SysUtils.hpp"
#include "../../fuzz/FuzzTargets.hpp"
#include "common/Seeds.hpp"

namespace {

using TBytes = std::vector<std::uint8_t>;

std::uint32_t Crc(const std::uint8_t* Bytes, std::size_t Count) {
  std::uint32_t C = 0xFFFFFFFFu;
  for (std::size_t I = 0; I < Count; ++I) {
    C ^= Bytes[I];
    for (int K = 0; K < 8; ++K) C = C & 1 ? 0xEDB88320u ^ (C >> 1) : C >> 1;
  }
  return ~C;
}

struct TChunk {
  std::string Type;
  TBytes Data;
};

std::vector<TChunk> Chunks(const TBytes& Png) {
  std::vector<TChunk> Result;
  for (std::size_t At = 8; At + 12 <= Png.size();) {
    const std::uint32_t Length = SysUtils::Be32(&Png[At]);
    Result.push_back({std::string(Png.begin() + At + 4, Png.begin() + At + 8),
                      TBytes(Png.begin() + At + 8, Png.begin() + At + 8 + Length)});
    At += 12 + Length;
  }
  return Result;
}

// The file again, every chunk with a correct CRC.
TBytes File(const std::vector<TChunk>& Chunks) {
  TBytes Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const TChunk& Chunk : Chunks) {
    const std::uint32_t Length = std::uint32_t(Chunk.Data.size());
    for (int Shift = 24; Shift >= 0; Shift -= 8) Png.push_back(std::uint8_t(Length >> Shift));
    const std::size_t Start = Png.size();
    Png.insert(Png.end(), Chunk.Type.begin(), Chunk.Type.end());
    Png.insert(Png.end(), Chunk.Data.begin(), Chunk.Data.end());
    const std::uint32_t Sum = Crc(&Png[Start], Png.size() - Start);
    for (int Shift = 24; Shift >= 0; Shift -= 8) Png.push_back(std::uint8_t(Sum >> Shift));
  }
  return Png;
}

}  // namespace

TEST(SystemCodecs, DamagedPngsAreRefusedNamingTheirFault) {
  const std::filesystem::path Folder = std::filesystem::temp_directory_path() / "tessorin-codecs";
  std::filesystem::create_directories(Folder);
  Graphics::TBitmap Picture;
  Picture.SetPixelFormat(Graphics::pf24bit);
  Picture.SetSize(5, 4);
  const std::string Good = (Folder / "good.png").string();
  Picture.SaveToFile(Good);
  const std::vector<TChunk> Whole = Chunks(Classes::ReadFileBytes(Good));
  ASSERT_EQ(Whole.front().Type, "IHDR");

  using TChange = std::function<void(std::vector<TChunk>&)>;
  const struct {
    const char* Name;
    TChange Change;
    const char* Fault;  // after "<file>: PNG decoding failed: ", before any code
  } Rows[] = {
      // IHDR: width 0-3, height 4-7, depth 8, colour type 9, methods 10-12.
      {"colour type 5", [](auto& C) { C[0].Data[9] = 5; }, "Invalid IHDR data"},
      {"depth 7", [](auto& C) { C[0].Data[8] = 7; }, "Invalid IHDR data"},
      {"interlace method 2", [](auto& C) { C[0].Data[12] = 2; }, "Invalid IHDR data"},
      {"no image data", [](auto& C) { std::erase_if(C, [](const TChunk& K) { return K.Type == "IDAT"; }); },
       "IEND: out of place"},
      // A deflate block of the reserved type 3, behind the zlib header.
      {"damaged deflate data",
       [](auto& C) {
         for (TChunk& K : C)
           if (K.Type == "IDAT") K.Data = {0x78, 0x9C, 0x07, 0xFF, 0xFF, 0xFF};
       },
       "damaged image data"},
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    std::vector<TChunk> Damaged = Whole;
    Row.Change(Damaged);
    const std::string Name = (Folder / "damaged.png").string();
    Classes::WriteFileBytes(Name, File(Damaged));
    try {
      Graphics::TBitmap Back;
      Back.LoadFromFile(Name);
      ADD_FAILURE() << "read";
    } catch (const Graphics::EInvalidGraphic& E) {
      EXPECT_EQ(E.Message().rfind(Name + ": PNG decoding failed: " + Row.Fault, 0), 0u) << E.Message();
    }
  }
  std::error_code Error;
  std::filesystem::remove_all(Folder, Error);
}

TEST(SystemCodecs, TheJpegWalkSurvivesEverySeedAndReproducer) { Seeds::RunAll(Fuzz::JpegWalk, "JpegWalk"); }
