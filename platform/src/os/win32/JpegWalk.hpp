// What the system's JPEG codec does not report, found by walking the file
// before it is given the file: the codec fills what is missing or damaged
// with grey and answers success, where libjpeg on Linux warns and the
// picture is refused. Plain bounded code, serving the codec alone.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace Os::Win32 {

struct TJpegLayout {
  std::uint32_t Width = 0, Height = 0;
  bool HasFrame = false;
  int Scans = 0;
  bool CutShort = false;  // the data ends before the end-of-image marker
  // The first fault of the coded data, in libjpeg's words, or empty: the
  // data of a scan ending before its last block, a code no table has, a
  // missing restart marker.
  std::string Corrupt;
};

// The markers from after SOI to EOI, read the way libjpeg reads them:
// stray bytes between segments are passed over, and only the data running
// out before EOI counts as the file being cut. The coded data of each scan
// of a Huffman-coded frame (sequential or progressive) is decoded as far as
// its codes. CheckSize is given the frame's size before any of its data is
// decoded, to refuse a picture past the limits.
TJpegLayout WalkJpeg(std::span<const std::uint8_t> Data,
                     const std::function<void(std::uint32_t Width, std::uint32_t Height)>& CheckSize);

}  // namespace Os::Win32
