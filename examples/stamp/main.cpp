// stamp: a program made from a form designed in lvdesign. Each click on
// the picture stamps a dark spot into it; closing the window ends it.
#include <exception>

#include "Forms.hpp"
#include "Unit1.hpp"

int main() {
  try {
    Forms::Application->Initialize();
    Forms::Application->CreateForm(Form1);
    Forms::Application->Run();
  } catch (const std::exception& E) {
    Forms::Application->ShowException(E);
    return 1;
  }
  return 0;
}
