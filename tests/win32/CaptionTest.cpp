// A form's caption on its window, as the user reads it in the title bar.
#include <gtest/gtest.h>

#include <string>

#include "Forms.hpp"

#include <windows.h>

TEST(FormWindow, TheCaptionKeepsEveryCharacter) {
  Forms::Application->Initialize();
  Forms::TForm Form(nullptr);
  const std::string Caption = "\xD0\xA4\xD0\xB8\xD0\xBB\xD1\x8C\xD1\x82\xD1\x80 \xE2\x80\x93 caf\xC3\xA9 "
                              "\xE5\x9B\xBE\xE7\x89\x87 \xE2\x9C\x93";  // Фильтр – café 图片 ✓
  const std::wstring Wanted = L"\u0424\u0438\u043B\u044C\u0442\u0440 \u2013 caf\u00E9 \u56FE\u7247 \u2713";
  for (const bool Later : {false, true}) {
    Form.SetCaption(Later ? "" : Caption);
    Form.Show();
    if (Later) Form.SetCaption(Caption);
    wchar_t Title[64] = {};
    ::GetWindowTextW(reinterpret_cast<HWND>(Form.Handle()), Title, 64);
    EXPECT_EQ(std::wstring(Title), Wanted) << (Later ? "set when shown" : "set before");
    Form.Hide();
  }
}
