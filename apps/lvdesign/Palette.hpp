// The component palette: a tab per page, the select arrow and a button per
// class the packages registered, with the glyph the package carries.
#pragma once

#include <map>
#include <memory>

#include "Commands.hpp"
#include "Designer.hpp"
#include "Screen.hpp"

namespace Lvdesign {

class TPalette {
public:
  TPalette(TScreen& Screen, Design::TDesigner& Designer, Design::TPackages& Packages, TCommands& Commands)
      : FScreen(Screen), FDesigner(Designer), FPackages(Packages), FCommands(Commands) {}
  // Fills the current window.
  void Draw();

private:
  struct TGlyph {
    std::shared_ptr<const Graphics::TBitmap> Bitmap;  // kept so that its address names no other
    TTexture Texture;
  };
  const TTexture* GlyphOf(const Design::TPaletteButton& Button);
  bool ToolButton(const char* Id, bool Chosen, const char* Tip, const TTexture* Glyph, const std::string& Initials,
                  bool Arrow);

  TScreen& FScreen;
  Design::TDesigner& FDesigner;
  Design::TPackages& FPackages;
  TCommands& FCommands;
  std::map<const Graphics::TBitmap*, TGlyph> FGlyphs;
};

}  // namespace Lvdesign
