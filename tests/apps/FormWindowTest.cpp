// A form's own window, made by the framework, on a virtual X display: its
// caption, size and place, what it shows after the program changes a
// picture's rows, a click reaching the control under it, and closing it.
#if defined(FORM_WINDOW_PATH)
#include "Display.hpp"

using namespace Programs;

namespace Programs {
bool CloseWindow(const std::string& DisplayName, unsigned long Window);
}

namespace {

using FormWindowTest = TProgramTest;

// Waits up to 15 s for Text in the program's output.
bool Printed(const TBackground& Program, const std::string& Text) {
  for (int Wait = 0; Wait < 300; ++Wait) {
    if (Program.Output().find(Text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace

TEST_F(FormWindowTest, ShowsTheFormPaintsAtOnceTakesClicksAndEndsWhenClosed) {
  if (!Installed("Xvfb") || !Installed("xdotool") || !Installed("xwininfo") || !Installed("xwd") ||
      !Installed("convert"))
    GTEST_SKIP() << "needs Xvfb, xdotool, xwininfo, xwd and ImageMagick's convert";
  const TVirtualDisplay Display;
  if (!Display.Ready()) GTEST_SKIP() << "no virtual display could be started";
  const std::string Env = "env -u SDL_VIDEODRIVER ASAN_OPTIONS=detect_leaks=0 DISPLAY=" + Display.Name() + " ";
  TBackground Program("exec " + Env + FORM_WINDOW_PATH, Path("form.log"));
  ASSERT_TRUE(Printed(Program, "shown\n")) << Program.Output();

  // The caption titles it; the client area is the form's, where it was designed.
  const TResult Info = Shell("timeout 20 " + Env + "xwininfo -name 'Form window test'");
  ASSERT_EQ(Info.Status, 0) << Info.Output;
  for (const char* Line : {"Absolute upper-left X:  20\n", "Absolute upper-left Y:  30\n", "Width: 200\n",
                           "Height: 150\n"})
    EXPECT_NE(Info.Output.find(Line), std::string::npos) << Line << Info.Output;
  const std::size_t Id = Info.Output.find("Window id: ");
  ASSERT_NE(Id, std::string::npos) << Info.Output;
  const unsigned long Window = std::stoul(Info.Output.substr(Id + 11), nullptr, 16);
  const std::string Target = "timeout 20 " + Env + "xdotool ";

  // P paints a block into the picture's rows and refreshes: on the screen
  // at once, at the picture's place (form at 20,30, image at 10,20 in it,
  // block at columns 50 to 69 and rows 30 to 39 of the picture).
  ASSERT_EQ(Shell(Target + "windowfocus --sync " + std::to_string(Window) + " key p").Status, 0);
  ASSERT_TRUE(Printed(Program, "painted\n")) << Program.Output();
  const TResult Grab = Shell(Env + "xwd -root -silent | convert xwd:- png:" + Q("screen.png"));
  ASSERT_EQ(Grab.Status, 0) << Grab.Output;
  Graphics::TBitmap Screen;
  Screen.LoadFromFile(Path("screen.png"));
  const Graphics::TColor Red = Graphics::RGB(255, 0, 0), Picture = Graphics::RGB(40, 80, 160),
                         Face = Graphics::RGB(255, 255, 255);
  // Screen point, colour: the block's corners and what lies just outside it.
  const std::tuple<int, int, Graphics::TColor> Points[] = {
      {80, 80, Red},      {99, 89, Red},      {79, 80, Picture}, {100, 89, Picture}, {80, 79, Picture},
      {99, 90, Picture},  {30, 50, Picture},  {189, 149, Picture}, {29, 50, Face},   {190, 149, Face},
      {20, 30, Face},     {219, 179, Face},
  };
  for (const auto& [X, Y, Colour] : Points)
    EXPECT_EQ(Screen.Canvas()->Pixels(X, Y), Colour) << "at " << X << "," << Y;

  // A click on the image reaches it at its own coordinates, the left
  // button held (ssLeft).
  ASSERT_EQ(Shell(Target + "mousemove --window " + std::to_string(Window) + " 30 40 click 1").Status, 0);
  EXPECT_TRUE(Printed(Program, "down 20,20 button 0 shift 8\n")) << Program.Output();

  // Closing the window ends the modal loop, and the program with it.
  ASSERT_TRUE(CloseWindow(Display.Name(), Window));
  const int Status = Program.Wait(10);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status << "\n" << Program.Output();
  EXPECT_TRUE(Program.Output().ends_with("closed\n")) << Program.Output();
}
#endif
