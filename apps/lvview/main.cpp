// lvview: the filter image component in a real window. A click blends the
// filter into the picture, centred on the point clicked; the conversion
// question, when the picture is not 24-bit, comes as a real dialog.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"
#include "CommandLine.hpp"
#include "FormFiles.hpp"
#include "Tool.hpp"
#include "Window.hpp"

namespace Lvview {

// Saves what the window shows. A failure is reported, in the window and on
// standard error, and the viewer goes on.
void SaveScreenshot(Forms::TForm& Form, const TReport& Report) {
  const char* const FileName = "lvview-screenshot.png";
  try {
    Form.SaveScreenshot(FileName);
    std::cout << "lvview: saved " << FileName << std::endl;
  } catch (const std::exception& E) {
    std::cerr << "lvview: " << E.what() << std::endl;
    Report("Screenshot not saved", E.what());
  }
}

// Stores the form, filter and blended pictures included. A failure is
// reported, in the window and on standard error, and the viewer goes on.
void SaveForm(Forms::TForm& Form, const std::string& FileName, const TReport& Report) {
  try {
    if (FileName.empty()) throw Tool::TBadInput("no file to store the form in: give --save-form FILE");
    Classes::TFileWriter File(FileName);
    Tool::SaveForm(&Form, File);
    File.Commit();
    std::cout << "lvview: saved " << FileName << std::endl;
  } catch (const std::exception& E) {
    std::cerr << "lvview: " << E.what() << std::endl;
    Report("Form not saved", E.what());
  }
}

}  // namespace Lvview

namespace {

using namespace Lvview;


struct TOptions {
  std::string Picture, Filter, Screenshot, Form, SaveForm, Quality, Compression, CodePage;
  std::vector<std::string> Clicks;
  bool Yes = false, No = false, IgnoreUnknown = false;
};

std::pair<int, int> ParsePoint(const std::string& Text) {
  const std::size_t Comma = Text.find(',');
  if (Comma == std::string::npos) throw Tool::TBadInput("--click: expected X,Y, such as 10,20, not '" + Text + "'");
  return {int(Tool::ParseInteger("--click", Text.substr(0, Comma), -1000000, 1000000)),
          int(Tool::ParseInteger("--click", Text.substr(Comma + 1), -1000000, 1000000))};
}

int Run(const TOptions& Options) {
  // Scripted runs start no video driver, open no window and show no dialog:
  // the question is answered by --yes or --no, or declined.
  const bool Scripted = !Options.Clicks.empty() || !Options.Screenshot.empty();
  std::vector<std::pair<int, int>> Clicks;
  for (const std::string& Click : Options.Clicks) Clicks.push_back(ParsePoint(Click));
  Tool::SetSaveOptions(Options.Quality, Options.Compression);
  Tool::RefuseSharedOutputs({{"screenshot", Options.Screenshot}, {"stored form", Options.SaveForm}});
  std::optional<Classes::TFileWriter> Screenshot;
  if (!Options.Screenshot.empty()) {
    Graphics::FormatForFileName(Options.Screenshot);
    Screenshot.emplace(Options.Screenshot);
  }
  if (Options.Yes || Options.No)
    Dialogs::SetMessageBoxResponder(
        std::make_shared<Dialogs::TScriptedResponder>(Options.Yes ? Windows::IDOK : Windows::IDCANCEL));
  else if (Scripted)
    Dialogs::SetMessageBoxResponder(std::make_shared<Dialogs::TNoResponder>());

  std::optional<Classes::TFileWriter> StoredForm;
  if (!Options.SaveForm.empty()) {
    Tool::IsTextFormName(Options.SaveForm);
    if (Scripted) StoredForm.emplace(Options.SaveForm);
  }

  Forms::TForm Form(nullptr);
  Graphics::TBitmap Filter;
  if (!Options.Form.empty()) {
    Tool::RegisterFormClasses();
    LvFltImg::Register();
    // The viewer has none of the form's code: handler names stay as stored.
    Classes::TReadOptions Reading;
    Reading.KeepUnboundHandlers = true;
    if (!Options.CodePage.empty()) Reading.CodePage = Tool::ParseCodePage(Options.CodePage);
    // What the viewer does not have is kept, to be stored back as it was.
    if (Options.IgnoreUnknown)
      Reading.OnError = [](const Classes::EReadError& Fault) {
        const bool Object = Fault.Kind() == Classes::EReadError::TKind::UnknownClass;
        std::cerr << "lvview: warning: " << Fault.what() << (Object ? ": kept as a placeholder\n" : ": kept\n");
        return Classes::TReadAnswer::Keep;
      };
    Reading.OnUnresolved = [](const Classes::EReadError& Note) {
      std::cerr << "lvview: warning: " << Note.what() << ": kept unresolved\n";
    };
    Tool::LoadForm(Options.Form, &Form, Reading);
  } else {
    Form.SetName("Form1");
    auto* Image = new LvFltImg::TLvFilterImage(&Form);
    Image->SetName("LvFilterImage1");
    Image->SetParent(&Form);
    Image->Picture()->LoadFromFile(Options.Picture);
    Tool::RefuseEmptyPicture(Options.Picture, Image->Picture()->Width(), Image->Picture()->Height());
    Filter.LoadFromFile(Options.Filter);
    Image->SetFilterBitMap(&Filter);
    Image->SetAutoSize(true);
    Form.SetCaption("lvview - " + Options.Picture);
    Form.SetPosition(Forms::poScreenCenter);
  }

  // A click stamps each filter image's own filter, centred on the point.
  bool Declined = false;
  std::int64_t Right = 0, Bottom = 0;  // a control's place and size may each be any int
  for (int I = 0; I < Form.ComponentCount(); ++I) {
    auto* Image = dynamic_cast<LvFltImg::TLvFilterImage*>(Form.Components(I));
    // Controls on the form, at their place on it, whatever holds them.
    if (auto* Control = dynamic_cast<Controls::TControl*>(Form.Components(I)); Control && Control->ParentForm() == &Form)
      Right = std::max(Right, std::int64_t(Control->FormRect().Left) + Control->Width()),
      Bottom = std::max(Bottom, std::int64_t(Control->FormRect().Top) + Control->Height());
    if (!Image) continue;
    Image->OnMouseDown = [Image, &Declined](System::TObject*, Controls::TMouseButton Button, Controls::TShiftState,
                                            int X, int Y) {
      if (Button != Controls::mbLeft) return;
      const Graphics::TBitmap& Stamp = Image->InvertedFilter();
      Image->Filter(Y - Stamp.Height() / 2, X - Stamp.Width() / 2);
      Declined |= Image->Picture()->Bitmap()->PixelFormat() != Graphics::pf24bit;
    };
  }
  // A form stored without a size gets the one its controls need.
  if (Form.ClientWidth() == 0 || Form.ClientHeight() == 0) {
    const Graphics::TImageLimits Limits = Graphics::GetImageLimits();
    if (Right > Limits.MaxSide || Bottom > Limits.MaxSide || std::uint64_t(Right * Bottom) > Limits.MaxPixels)
      throw Tool::TBadInput((Options.Form.empty() ? Options.Picture : Options.Form) + ": its controls reach " +
                            std::to_string(Right) + " x " + std::to_string(Bottom) +
                            " pixels, more than a form can show (" + std::to_string(Limits.MaxSide) +
                            " pixels a side, " + std::to_string(Limits.MaxPixels) + " in all)");
    Form.SetClientSize(int(Right), int(Bottom));
  }
  if (Form.ClientWidth() == 0 || Form.ClientHeight() == 0)
    throw Tool::TBadInput((Options.Form.empty() ? Options.Picture : Options.Form) + ": nothing to show");
  if (!Scripted)
    return Interact(Form, Form.Caption().empty() ? "lvview - " + Options.Form : Form.Caption(), Options.SaveForm);

  Form.Show();
  for (const auto& [X, Y] : Clicks) {
    Form.ClickAt(X, Y);
    if (Declined) {
      std::cerr << "lvview: " << (Options.Form.empty() ? Options.Picture : Options.Form)
                << ": conversion to 24-bit colour declined; nothing written\n";
      return Tool::ExitDeclined;
    }
  }
  if (Screenshot) Form.SaveScreenshot(*Screenshot);
  if (StoredForm) Tool::SaveForm(&Form, *StoredForm);
  Classes::CommitFiles({Screenshot ? &*Screenshot : nullptr, StoredForm ? &*StoredForm : nullptr});
  return Tool::ExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions Options;
  CLI::App App(std::string("Shows PICTURE in a window with the filter image component. Each click blends\n"
                           "FILTER into the picture, centred on the point clicked; calls accumulate.\n"
                           "Keys: S saves lvview-screenshot.png, F stores the form (--save-form), Q or\n"
                           "Escape quits. With --form it shows a stored form and every component on it;\n"
                           "a click stamps each filter image's own filter. A picture that is not\n"
                           "24-bit colour is converted first, after a question in a dialog.\n\n"
                           "With --click or --screenshot it runs as a script: no window, no dialog and no\n"
                           "display needed; the question is answered by --yes or --no, or else declined.\n\n") +
                   Tool::ExitStatusHelp(true) + "\n" + Tool::LimitsHelp(),
               "lvview");
  auto* PictureOption = App.add_option("PICTURE", Options.Picture, "The picture");
  auto* FilterOption = App.add_option("FILTER", Options.Filter, "The filter picture");
  auto* FormOption =
      App.add_option("--form", Options.Form, "Open a stored form (binary or text) instead of PICTURE and FILTER");
  FormOption->excludes(PictureOption)->excludes(FilterOption);
  App.add_option("--save-form", Options.SaveForm,
                 "F stores the form, pictures and filters included, in FILE (.dfm binary, .txt text); a script "
                 "stores it after its clicks");
  auto* Yes = App.add_flag("-y,--yes", Options.Yes, "Answer OK to the conversion question");
  App.add_flag("-n,--no", Options.No, "Answer Cancel to the conversion question")->excludes(Yes);
  App.add_flag("--ignore-unknown", Options.IgnoreUnknown,
               "With --form: keep each class, property and value the viewer does not know, with a warning for "
               "each, rather than refuse the form: a control of an unknown class is shown as a hatched frame "
               "holding what is inside it, and everything is stored back as it was");
  App.add_option("--codepage", Options.CodePage, std::string("With --form: ") + Tool::CodePageHelp);
  App.add_option("--click", Options.Clicks, "Click at X,Y without showing the window (repeatable)");
  App.add_option("--screenshot", Options.Screenshot, "Save what the window shows after the clicks, and quit");
  App.add_option("--quality", Options.Quality, std::string(Tool::QualityHelp) + ", for screenshots");
  App.add_option("--compression", Options.Compression, std::string(Tool::CompressionHelp) + ", for screenshots");
  App.set_version_flag("--version", std::string("lvview ") + Tool::Version, "Print the version and exit");
  if (const auto Stop = Tool::ParseCommandLine(App, argc, argv)) return *Stop;
  if (Options.Form.empty() && (Options.Picture.empty() || Options.Filter.empty())) {
    std::cerr << "lvview: PICTURE and FILTER, or --form FILE, are required (see lvview --help)\n";
    return Tool::ExitBadInput;
  }
  try {
    return Run(Options);
  } catch (const std::exception& E) {
    return Tool::Report("lvview", E);
  }
}
