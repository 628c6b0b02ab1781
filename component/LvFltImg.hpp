// The unit LvFltImg: an image control that blends a filter bitmap into its
// own picture.
#pragma once

#include <cstdint>
#include <memory>

#include "Classes.hpp"
#include "ExtCtrls.hpp"
#include "Graphics.hpp"

#ifdef _WIN32
#define LVFLTIMG_EXPORT  // the package's definition file lists the exports
#else
#define LVFLTIMG_EXPORT __attribute__((visibility("default")))
#endif

namespace LvFltImg {

// A channel value back in 0..255: 255 above, 0 below, the value itself
// between.
LVFLTIMG_EXPORT std::uint8_t FitinRange(int Value);

class LVFLTIMG_EXPORT TLvFilterImage : public ExtCtrls::TImage {
public:
  explicit TLvFilterImage(Classes::TComponent* AOwner);
  ~TLvFilterImage() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  // The very bitmap last assigned; it stays the caller's.
  Graphics::TBitmap* FilterBitMap() const { return FFilterBitMap; }
  // Prepares the working filter: a private 24-bit copy of the bitmap with
  // every channel inverted. nullptr leaves an empty working filter.
  void SetFilterBitMap(Graphics::TBitmap* Value);

  // Brings the picture to 24-bit colour, asking the user first. False when
  // the user declined; the picture is then as it was.
  bool Set24BitColor();

  // Blends the filter into the picture with its top-left pixel at row ATop,
  // column ALeft: each channel becomes max(0, picture + filter - 255). Only
  // pixels inside the control, the picture and the filter change. Repaints,
  // unless the user declined the conversion to 24-bit colour.
  void Filter(int ATop, int ALeft);

  // The prepared working filter, for inspection.
  const Graphics::TBitmap& InvertedFilter() const { return *FInvertedFilter; }

private:
  Graphics::TBitmap* FFilterBitMap = nullptr;               // the caller's, never written or freed
  std::unique_ptr<Graphics::TBitmap> FInvertedFilter;       // owned working filter
  std::uint8_t* FImageLine = nullptr;                       // picture row being blended
  std::uint8_t* FFilterLine = nullptr;                      // working filter row being read or inverted
  // A filter read from a stored form has no caller to own it: the component
  // keeps it while it is the assigned one.
  std::unique_ptr<Graphics::TBitmap> FStoredFilter;
};

// Puts the component on the palette page "Lorvane".
LVFLTIMG_EXPORT void Register();

// The unit's initialisation and finalisation, run by the package loader.
// The unit has no start-up or shut-down work of its own.
LVFLTIMG_EXPORT void Initialization();
LVFLTIMG_EXPORT void Finalization();

}  // namespace LvFltImg
