// The ExtCtrls unit: the image control.
#pragma once

#include <memory>

#include "Controls.hpp"
#include "Graphics.hpp"

namespace ExtCtrls {

using TProgressStage = int;
using TProgressEvent = std::function<void(System::TObject* Sender, TProgressStage Stage, int PercentDone,
                                          bool RedrawNow, const Graphics::TRect& R, const std::string& Msg)>;

class TImage : public Controls::TGraphicControl {
public:
  explicit TImage(Classes::TComponent* AOwner);
  ~TImage() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  Graphics::TPicture* Picture() const { return FPicture.get(); }
  // Copies the given picture's content into the control's own.
  void SetPicture(Graphics::TPicture* Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool IncrementalDisplay() const { return FIncrementalDisplay; }
  void SetIncrementalDisplay(bool Value) { FIncrementalDisplay = Value; }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  // Where the picture lands in the control's coordinates.
  Graphics::TRect DestRect() const;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  TProgressEvent OnProgress;

protected:
  void Paint(Graphics::TCanvas& Canvas, const Graphics::TRect& Rect) const override;

private:
  void PictureChanged();
  void UpdateOpaque();

  std::unique_ptr<Graphics::TPicture> FPicture;
  bool FAutoSize = false;
  bool FCenter = false;
  bool FIncrementalDisplay = false;
  bool FStretch = false;
  bool FTransparent = false;
};

}  // namespace ExtCtrls
