// lvfilter: blends a filter picture into a picture through the filter image
// component, the way an application on a form would, and writes the result.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <regex>
#include <string>

#include "Dialogs.hpp"
#include "Forms.hpp"
#include "Graphics/Codecs.hpp"
#include "LvFltImg.hpp"

namespace {

enum TExit { ExitWritten = 0, ExitFailed = 1, ExitBadInput = 2, ExitDeclined = 3 };

struct TOptions {
  std::string Picture, Filter, Output, Screenshot, Size;
  int Top = 0, Left = 0, Repeat = 1;
  bool Yes = false, No = false;
};

struct TBadInput : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const char* const Description =
    "Blends FILTER into PICTURE with the filter image component and writes the result.\n"
    "Each colour channel becomes max(0, picture + filter - 255): white filter pixels leave\n"
    "the picture as it is, black ones turn it black. The filter's top-left pixel lands on\n"
    "row --top, column --left of the picture; only pixels inside the control, the picture\n"
    "and the filter change.\n\n"
    "Pictures may be BMP (any kind), PNG or JPEG, recognised by their content. OUTPUT's\n"
    "format follows its extension (.bmp keeps the bitmap's own format, .png, .jpg/.jpeg).\n\n"
    "A picture that is not 24-bit colour must be converted first, and the component asks:\n"
    "at the terminal when one is attached, or as --yes / --no answer. With no terminal and\n"
    "no answer given, the question cannot be shown and counts as declined.\n\n"
    "Exit status: 0 written; 1 any other failure; 2 bad usage or bad input (nothing\n"
    "written); 3 the conversion to 24-bit colour was declined (nothing written).";

std::pair<int, int> ParseSize(const std::string& Text) {
  static const std::regex Pattern(R"(\s*(\d{1,5})\s*[xX]\s*(\d{1,5})\s*)");
  std::smatch Match;
  if (!std::regex_match(Text, Match, Pattern))
    throw TBadInput("--size: expected WIDTHxHEIGHT, such as 640x480, not '" + Text + "'");
  const int W = std::stoi(Match[1]), H = std::stoi(Match[2]);
  const Graphics::TImageLimits Limits = Graphics::GetImageLimits();
  if (W > Limits.MaxSide || H > Limits.MaxSide)
    throw TBadInput("--size: " + Text + " is larger than " + std::to_string(Limits.MaxSide) + " pixels per side");
  return {W, H};
}

void InstallResponder(const TOptions& Options) {
  if (Options.Yes || Options.No) {
    auto Script = std::make_shared<Dialogs::TScriptedResponder>(Options.Yes ? Windows::IDOK : Windows::IDCANCEL);
    Dialogs::SetMessageBoxResponder(Script);
  }
  // Otherwise the default: a prompt at the terminal, or no box at all.
}

// Faults of the usage or of the input (a file that cannot be opened or read,
// a picture that is not one) answer 2; anything else 1.
int ExitFor(const std::exception& E) {
  const bool BadInput = dynamic_cast<const TBadInput*>(&E) || dynamic_cast<const Graphics::EInvalidGraphic*>(&E) ||
                        dynamic_cast<const Classes::EFOpenError*>(&E) || dynamic_cast<const Classes::EReadError*>(&E);
  return BadInput ? ExitBadInput : ExitFailed;
}

int Run(const TOptions& Options) {
  // Refuse a bad output name before doing any work.
  Graphics::Detail::FormatForFileName(Options.Output);
  if (!Options.Screenshot.empty()) Graphics::Detail::FormatForFileName(Options.Screenshot);
  const bool Sized = !Options.Size.empty();
  const std::pair<int, int> Size = Sized ? ParseSize(Options.Size) : std::pair(0, 0);
  InstallResponder(Options);

  Forms::TForm Form(nullptr);
  Form.SetCaption("lvfilter");
  auto* Image = new LvFltImg::TLvFilterImage(&Form);
  Image->SetParent(&Form);
  {
    // The filter first: once its working copy is made, the loaded bitmap's
    // memory goes back to the pixel allocator, and a picture of the same
    // size is then decoded into it instead of into fresh memory. The
    // component keeps a reference to the bitmap that nothing here reads
    // again.
    Graphics::TBitmap Filter;
    Filter.LoadFromFile(Options.Filter);
    Image->SetFilterBitMap(&Filter);
  }
  Image->Picture()->LoadFromFile(Options.Picture);
  const auto [W, H] = Sized ? Size : std::pair(Image->Picture()->Width(), Image->Picture()->Height());
  Image->SetBounds(0, 0, W, H);
  Form.SetClientSize(W, H);
  // A hidden form paints nothing; it only needs showing for a screenshot,
  // and then its surface must fit the limits every bitmap keeps.
  if (!Options.Screenshot.empty()) {
    const Graphics::TImageLimits Limits = Graphics::GetImageLimits();
    const std::string Shot = std::to_string(W) + " x " + std::to_string(H);
    if (W == 0 || H == 0) throw TBadInput(Options.Screenshot + ": a screenshot of " + Shot + " pixels is empty");
    if (std::uint64_t(W) * std::uint64_t(H) > Limits.MaxPixels)
      throw TBadInput(Options.Screenshot + ": a screenshot of " + Shot + " pixels is more than the limit of " +
                      std::to_string(Limits.MaxPixels) + " pixels");
    Form.Show();
  }

  for (int I = 0; I < Options.Repeat; ++I) {
    Image->Filter(Options.Top, Options.Left);
    if (Image->Picture()->Bitmap()->PixelFormat() != Graphics::pf24bit) {
      std::cerr << "lvfilter: " << Options.Picture << ": conversion to 24-bit colour declined; nothing written\n";
      return ExitDeclined;
    }
  }
  Image->SetFilterBitMap(nullptr);  // the working filter's memory is not needed for writing

  Image->Picture()->SaveToFile(Options.Output);
  if (!Options.Screenshot.empty()) Form.SaveScreenshot(Options.Screenshot);
  return ExitWritten;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions Options;
  CLI::App App(Description, "lvfilter");
  App.get_formatter()->column_width(28);
  App.add_option("PICTURE", Options.Picture, "The picture to filter")->required();
  App.add_option("FILTER", Options.Filter, "The filter picture")->required();
  App.add_option("-o,--output", Options.Output, "Where to write the result")->required();
  App.add_option("--top", Options.Top, "Picture row of the filter's first row (default 0)");
  App.add_option("--left", Options.Left, "Picture column of the filter's first column (default 0)");
  App.add_option("--size", Options.Size, "Control size WIDTHxHEIGHT (default: the picture's size)");
  App.add_option("--repeat", Options.Repeat, "Blend K times; each works on the last result (default 1)")
      ->check(CLI::Range(1, 1000000));
  auto* Yes = App.add_flag("-y,--yes", Options.Yes, "Answer OK to the 24-bit conversion question");
  App.add_flag("-n,--no", Options.No, "Answer Cancel to the 24-bit conversion question")->excludes(Yes);
  App.add_option("--screenshot", Options.Screenshot, "Also save what the control shows on its form");
  try {
    App.parse(argc, argv);
  } catch (const CLI::CallForHelp& E) {
    return App.exit(E);
  } catch (const CLI::ParseError& E) {
    std::cerr << "lvfilter: " << E.what() << " (see lvfilter --help)\n";
    return ExitBadInput;
  }

  try {
    return Run(Options);
  } catch (const std::exception& E) {
    std::cerr << "lvfilter: " << E.what() << "\n";
    return ExitFor(E);
  }
}
