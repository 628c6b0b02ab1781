// JPEG pictures through libjpeg-turbo.
//
// libjpeg reports errors through a callback that must not return; ours
// longjmps. As with PNG, every call into the library happens in a small
// function that sets the jump point and holds only trivial locals, and the
// caller raises the exception once the library has returned.
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>
// After jpeglib.h: the message list depends on its configuration.
#include <jerror.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "Codecs.hpp"

namespace Graphics::Detail {

namespace {

// A real encoder writes around ten progressive scans. Each scan walks the
// whole image again, so a file of many tiny scans decodes for minutes.
constexpr int MaxScans = 100;

struct TJpegErrors {
  jpeg_error_mgr Manager;  // first, so the library's pointer leads back here
  std::jmp_buf Jump;
  bool Truncated;
  char Message[JMSG_LENGTH_MAX];
};

TJpegErrors& ErrorsOf(j_common_ptr Info) { return *reinterpret_cast<TJpegErrors*>(Info->err); }

[[noreturn]] void Abandon(j_common_ptr Info, const char* Message) {
  TJpegErrors& Errors = ErrorsOf(Info);
  std::snprintf(Errors.Message, sizeof Errors.Message, "%s", Message);
  std::longjmp(Errors.Jump, 1);
}

[[noreturn]] void OnJpegError(j_common_ptr Info) {
  char Message[JMSG_LENGTH_MAX];
  (*Info->err->format_message)(Info, Message);
  Abandon(Info, Message);
}

// libjpeg only warns about damaged data and goes on with made-up pixels
// (grey for a truncated file). Those warnings refuse the picture; the
// harmless ones (stray bytes between segments, odd version numbers) do not.
void OnJpegMessage(j_common_ptr Info, int Level) {
  if (Level >= 0) return;
  switch (Info->err->msg_code) {
    case JWRN_JPEG_EOF:
      ErrorsOf(Info).Truncated = true;
      OnJpegError(Info);
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
      OnJpegError(Info);
    default:
      break;
  }
}

void OnJpegProgress(j_common_ptr Info) {
  if (Info->is_decompressor && reinterpret_cast<j_decompress_ptr>(Info)->input_scan_number > MaxScans)
    Abandon(Info, "too many scans");
}

// Room for the whole-image coefficient buffers of a progressive picture at
// the largest size the limits allow: two bytes a sample, up to four samples
// a pixel, plus working space.
long MemoryLimit() {
  constexpr std::uint64_t WorkingSpace = 32u << 20;
  const std::uint64_t Pixels = GetImageLimits().MaxPixels;
  if (Pixels > (std::uint64_t(LONG_MAX) - WorkingSpace) / 8) return LONG_MAX;
  return long(Pixels * 8 + WorkingSpace);
}

class TJpegDecoder {
public:
  TJpegDecoder() {
    Info.err = jpeg_std_error(&Errors.Manager);
    Errors.Manager.error_exit = OnJpegError;
    Errors.Manager.emit_message = OnJpegMessage;
    Progress.progress_monitor = OnJpegProgress;
  }
  ~TJpegDecoder() { jpeg_destroy_decompress(&Info); }
  TJpegDecoder(const TJpegDecoder&) = delete;
  TJpegDecoder& operator=(const TJpegDecoder&) = delete;

  jpeg_decompress_struct Info{};
  TJpegErrors Errors{};
  jpeg_progress_mgr Progress{};
};

class TJpegEncoder {
public:
  TJpegEncoder() {
    Info.err = jpeg_std_error(&Errors.Manager);
    Errors.Manager.error_exit = OnJpegError;
  }
  ~TJpegEncoder() {
    jpeg_destroy_compress(&Info);
    std::free(Buffer);
  }
  TJpegEncoder(const TJpegEncoder&) = delete;
  TJpegEncoder& operator=(const TJpegEncoder&) = delete;

  jpeg_compress_struct Info{};
  TJpegErrors Errors{};
  unsigned char* Buffer = nullptr;  // grown by libjpeg with malloc
  unsigned long Size = 0;
};

bool ReadJpegHeader(TJpegDecoder& Decoder, std::span<const std::uint8_t> Data, long MaxMemory) {
  j_decompress_ptr Info = &Decoder.Info;
  if (setjmp(Decoder.Errors.Jump)) return false;
  jpeg_create_decompress(Info);
  Info->mem->max_memory_to_use = MaxMemory;
  Info->progress = &Decoder.Progress;
  jpeg_mem_src(Info, Data.data(), static_cast<unsigned long>(Data.size()));
  jpeg_read_header(Info, TRUE);
  switch (Info->jpeg_color_space) {
    case JCS_GRAYSCALE:
      Info->out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      Info->out_color_space = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      Info->out_color_space = JCS_CMYK;
      break;
    default:
      Abandon(reinterpret_cast<j_common_ptr>(Info), "unsupported colour space");
  }
  jpeg_calc_output_dimensions(Info);
  return true;
}

// No colour management: ink amounts become light by plain multiplication.
// Adobe's encoders store CMYK inverted (255 = no ink) and say so in their
// own segment; others store the ink itself.
void CmykToBgr(const std::uint8_t* In, std::uint8_t* Out, int Width, bool Inverted) {
  const unsigned Flip = Inverted ? 0 : 255;
  for (int X = 0; X < Width; ++X, In += 4, Out += 3) {
    const unsigned K = In[3] ^ Flip;
    Out[0] = std::uint8_t(((In[2] ^ Flip) * K + 127) / 255);
    Out[1] = std::uint8_t(((In[1] ^ Flip) * K + 127) / 255);
    Out[2] = std::uint8_t(((In[0] ^ Flip) * K + 127) / 255);
  }
}

bool ReadJpegRows(TJpegDecoder& Decoder, TDib& Image, std::uint8_t* CmykRow) {
  j_decompress_ptr Info = &Decoder.Info;
  if (setjmp(Decoder.Errors.Jump)) return false;
  jpeg_start_decompress(Info);
  while (Info->output_scanline < Info->output_height) {
    std::uint8_t* Row = Image.Row(int(Info->output_scanline));
    JSAMPROW Target = CmykRow ? CmykRow : Row;
    if (jpeg_read_scanlines(Info, &Target, 1) != 1) Abandon(reinterpret_cast<j_common_ptr>(Info), "no scanline");
    if (CmykRow) CmykToBgr(CmykRow, Row, Image.Width, Info->saw_Adobe_marker);
  }
  // Reads on to the end marker, so a file cut after its pixels is refused too.
  jpeg_finish_decompress(Info);
  return true;
}

[[noreturn]] void RaiseReadFault(const TJpegErrors& Errors, const std::string& Name) {
  if (Errors.Truncated) throw EInvalidGraphic(Name + ": truncated JPEG data");
  throw EInvalidGraphic(Name + ": JPEG decoding failed: " + Errors.Message);
}

bool WriteJpegRows(TJpegEncoder& Encoder, const TDib& Image, int Quality, TRGBQuad* Line) {
  j_compress_ptr Info = &Encoder.Info;
  if (setjmp(Encoder.Errors.Jump)) return false;
  jpeg_create_compress(Info);
  jpeg_mem_dest(Info, &Encoder.Buffer, &Encoder.Size);
  Info->image_width = JDIMENSION(Image.Width);
  Info->image_height = JDIMENSION(Image.Height);
  const bool Packed = Image.Format == pf24bit;
  Info->in_color_space = Packed ? JCS_EXT_BGR : JCS_EXT_BGRX;
  Info->input_components = Packed ? 3 : 4;
  jpeg_set_defaults(Info);
  jpeg_set_quality(Info, Quality, TRUE);
  jpeg_start_compress(Info, TRUE);
  for (int Y = 0; Y < Image.Height; ++Y) {
    JSAMPROW Row;
    if (Line) {
      DecodeRow(Image, Y, Line);
      Row = reinterpret_cast<JSAMPROW>(Line);
    } else {
      // libjpeg only reads the row; its interface is not const-correct.
      Row = const_cast<JSAMPROW>(Image.Row(Y));
    }
    jpeg_write_scanlines(Info, &Row, 1);
  }
  jpeg_finish_compress(Info);
  return true;
}

}  // namespace

TDib ReadJpeg(std::span<const std::uint8_t> Data, const std::string& Name) {
  if (SniffFormat(Data) != TFileFormat::Jpeg) throw EInvalidGraphic(Name + ": not a JPEG picture");
  TJpegDecoder Decoder;
  if (!ReadJpegHeader(Decoder, Data, MemoryLimit())) RaiseReadFault(Decoder.Errors, Name);

  const jpeg_decompress_struct& Info = Decoder.Info;
  const bool Grey = Info.out_color_space == JCS_GRAYSCALE;
  CheckImageSize(Info.output_width, Info.output_height, Name);
  ChargeFormPixels(Info.output_width, Info.output_height, Name);
  TDib Image = MakeDib(int(Info.output_width), int(Info.output_height), Grey ? pf8bit : pf24bit, Name);
  if (Grey) Image.Palette = GreyPalette();
  std::vector<std::uint8_t> CmykRow(Info.out_color_space == JCS_CMYK ? std::size_t(Image.Width) * 4 : 0);
  if (!ReadJpegRows(Decoder, Image, CmykRow.empty() ? nullptr : CmykRow.data()))
    RaiseReadFault(Decoder.Errors, Name);
  return Image;
}

std::vector<std::uint8_t> WriteJpeg(const TDib& Image, int Quality) {
  if (Image.Empty()) throw EInvalidGraphic("an empty picture cannot be saved as JPEG");
  TJpegEncoder Encoder;
  // 24 and 32-bit rows go to libjpeg as they are (JPEG has no alpha);
  // every other format is decoded a row at a time.
  const bool Direct = Image.Format == pf24bit || Image.Format == pf32bit;
  std::vector<TRGBQuad> Line(Direct ? 0 : std::size_t(Image.Width));
  if (!WriteJpegRows(Encoder, Image, Quality, Direct ? nullptr : Line.data()))
    throw EInvalidGraphic(std::string("JPEG encoding failed: ") + Encoder.Errors.Message);
  return {Encoder.Buffer, Encoder.Buffer + Encoder.Size};
}

}  // namespace Graphics::Detail
