// lvfilter: blends a filter picture into a picture through the filter image
// component, the way an application on a form would, and writes the result.
#include <CLI/CLI.hpp>

#include <climits>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "Dialogs.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"
#include "CommandLine.hpp"
#include "FormFiles.hpp"
#include "Tool.hpp"

namespace {

using Tool::TBadInput;

struct TOptions {
  std::string Picture, Filter, Output, Screenshot, SaveForm, Size, Top = "0", Left = "0", Repeat = "1";
  std::string Quality, Compression;
  bool Yes = false, No = false;
};

const char* const Description =
    "Blends FILTER into PICTURE with the filter image component and writes the result.\n"
    "Each colour channel becomes max(0, picture + filter - 255): white filter pixels leave\n"
    "the picture as it is, black ones turn it black. The filter's top-left pixel lands on\n"
    "row --top, column --left of the picture; only pixels inside the control, the picture\n"
    "and the filter change. Numbers are plain decimal.\n\n"
    "Pictures may be BMP (any kind), PNG or JPEG, recognised by their content. OUTPUT's\n"
    "format follows its extension (.bmp keeps the bitmap's own format, .png, .jpg/.jpeg).\n"
#ifdef _WIN32
    "\n"
    "A picture that is not 24-bit colour must be converted first, and the component asks\n"
    "in the system's message box, or takes --yes / --no as the answer. Where no box can be\n"
    "shown, the question counts as declined.\n\n";
#else
    "An output that is a symbolic link is written through to the link's target.\n\n"
    "A picture that is not 24-bit colour must be converted first, and the component asks:\n"
    "at the terminal when one is attached, or as --yes / --no answer. With no terminal and\n"
    "no answer given, the question cannot be shown and counts as declined.\n\n";
#endif

void InstallResponder(const TOptions& Options) {
  if (Options.Yes || Options.No) {
    auto Script = std::make_shared<Dialogs::TScriptedResponder>(Options.Yes ? Windows::IDOK : Windows::IDCANCEL);
    Dialogs::SetMessageBoxResponder(Script);
  }
  // Otherwise the default: the system's box on Windows, elsewhere a prompt
  // at the terminal, or no box at all.
}

int Run(const TOptions& Options) {
  // Everything that can be refused without the pictures is refused before
  // any work: the options, the output names and folders.
  const int Top = int(Tool::ParseInteger("--top", Options.Top, INT_MIN, INT_MAX));
  const int Left = int(Tool::ParseInteger("--left", Options.Left, INT_MIN, INT_MAX));
  const int Repeat = int(Tool::ParseInteger("--repeat", Options.Repeat, 1, 1000000));
  Tool::SetSaveOptions(Options.Quality, Options.Compression);
  const Graphics::TImageLimits Limits = Graphics::GetImageLimits();
  const bool Sized = !Options.Size.empty();
  const std::pair<int, int> Size = Sized ? Tool::ParseSize("--size", Options.Size, Limits.MaxSide) : std::pair(0, 0);
  const bool Shot = !Options.Screenshot.empty();
  Graphics::FormatForFileName(Options.Output);
  if (Shot) Graphics::FormatForFileName(Options.Screenshot);
  Tool::RefuseSharedOutputs({{"output", Options.Output}, {"screenshot", Options.Screenshot}, {"stored form", Options.SaveForm}});
  // Both outputs are written unnamed and named only when both are complete.
  Classes::TFileWriter Output(Options.Output);
  std::optional<Classes::TFileWriter> Screenshot, StoredForm;
  if (Shot) Screenshot.emplace(Options.Screenshot);
  if (!Options.SaveForm.empty()) {
    Tool::IsTextFormName(Options.SaveForm);
    StoredForm.emplace(Options.SaveForm);
  }
  InstallResponder(Options);

  Forms::TForm Form(nullptr);
  Form.SetName("Form1");
  Form.SetCaption("lvfilter");
  auto* Image = new LvFltImg::TLvFilterImage(&Form);
  Image->SetName("LvFilterImage1");
  Image->SetParent(&Form);
  // The filter first: once its working copy is made, the loaded bitmap's
  // memory goes back to the pixel allocator, and a picture of the same size
  // is then decoded into it instead of into fresh memory. Only a stored
  // form needs the filter bitmap itself again.
  auto Filter = std::make_unique<Graphics::TBitmap>();
  // A picture that is not there is named first, as the command line names it.
  if (std::error_code Error; !std::filesystem::exists(Tool::PathOf(Options.Picture), Error)) Image->Picture()->LoadFromFile(Options.Picture);
  Tool::NamingMemory(Options.Filter, [&] { Filter->LoadFromFile(Options.Filter); });
  Image->SetFilterBitMap(Filter.get());
  if (!StoredForm) Filter.reset();
  Tool::NamingMemory(Options.Picture, [&] { Image->Picture()->LoadFromFile(Options.Picture); });
  Tool::RefuseEmptyPicture(Options.Picture, Image->Picture()->Width(), Image->Picture()->Height());
  const auto [W, H] = Sized ? Size : std::pair(Image->Picture()->Width(), Image->Picture()->Height());
  Image->SetBounds(0, 0, W, H);
  Form.SetClientSize(W, H);
  // A hidden form paints nothing; it only needs showing for a screenshot,
  // and then its surface must fit the limits every bitmap keeps.
  if (Shot) {
    const std::string Area = std::to_string(W) + " x " + std::to_string(H);
    if (W == 0 || H == 0) throw TBadInput(Options.Screenshot + ": a screenshot of " + Area + " pixels is empty");
    if (std::uint64_t(W) * std::uint64_t(H) > Limits.MaxPixels)
      throw TBadInput(Options.Screenshot + ": a screenshot of " + Area + " pixels is more than the limit of " +
                      std::to_string(Limits.MaxPixels) + " pixels");
    Form.Show();
  }

  for (int I = 0; I < Repeat; ++I) {
    Image->Filter(Top, Left);
    if (Image->Picture()->Bitmap()->PixelFormat() != Graphics::pf24bit) {
      std::cerr << "lvfilter: " << Options.Picture << ": conversion to 24-bit colour declined; nothing written\n";
      return Tool::ExitDeclined;
    }
  }
  if (StoredForm) {
    Tool::NamingMemory(Options.SaveForm, [&] { Tool::SaveForm(&Form, *StoredForm); });
  } else {
    Image->SetFilterBitMap(nullptr);  // the working filter's memory is not needed for writing
  }

  Tool::NamingMemory(Options.Output, [&] { Image->Picture()->SaveToFile(Output); });
  if (Screenshot) Tool::NamingMemory(Options.Screenshot, [&] { Form.SaveScreenshot(*Screenshot); });
  Classes::CommitFiles({&Output, Screenshot ? &*Screenshot : nullptr, StoredForm ? &*StoredForm : nullptr});
  return Tool::ExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions Options;
  CLI::App App(Description + Tool::ExitStatusHelp(true) + "\n" + Tool::LimitsHelp(), "lvfilter");
  App.get_formatter()->column_width(28);
  App.add_option("PICTURE", Options.Picture, "The picture to filter")->required();
  App.add_option("FILTER", Options.Filter, "The filter picture")->required();
  App.add_option("-o,--output", Options.Output, "Where to write the result")->required();
  App.add_option("--top", Options.Top, "Picture row of the filter's first row (default 0)");
  App.add_option("--left", Options.Left, "Picture column of the filter's first column (default 0)");
  App.add_option("--size", Options.Size, "Control size WIDTHxHEIGHT (default: the picture's size)");
  App.add_option("--repeat", Options.Repeat, "Blend K times, 1 to 1000000; each works on the last result (default 1)");
  auto* Yes = App.add_flag("-y,--yes", Options.Yes, "Answer OK to the 24-bit conversion question");
  App.add_flag("-n,--no", Options.No, "Answer Cancel to the 24-bit conversion question")->excludes(Yes);
  App.add_option("--screenshot", Options.Screenshot, "Also save what the control shows on its form");
  App.add_option("--quality", Options.Quality, Tool::QualityHelp);
  App.add_option("--compression", Options.Compression, Tool::CompressionHelp);
  App.add_option("--save-form", Options.SaveForm,
                 "Also store the form, picture and filter included: FILE.dfm binary, FILE.txt text");
  App.set_version_flag("--version", std::string("lvfilter ") + Tool::Version, "Print the version and exit");
  if (const auto Stop = Tool::ParseCommandLine(App, argc, argv)) return *Stop;
  try {
    return Run(Options);
  } catch (const std::exception& E) {
    return Tool::Report("lvfilter", E);
  }
}
