// host PACKAGE: loads the package, registers its components, makes the
// filter image control by class name on a form, unloads the package, and
// says what it saw.
#include <iostream>

#include "Classes.hpp"
#include "Forms.hpp"
#include "SysUtils.hpp"
#include "TypInfo.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: host PACKAGE\n";
    return 2;
  }
  try {
    const Windows::HMODULE Module = SysUtils::LoadPackage(argv[1]);
    auto Register = reinterpret_cast<void (*)()>(SysUtils::GetProcAddress(Module, SysUtils::RegisterProcName("LvFltImg").c_str()));
    if (!Register) {
      std::cerr << "host: no Register procedure\n";
      return 1;
    }
    Register();
    {
      Forms::TForm Form(nullptr);
      const TypInfo::TClassInfo& Class = TypInfo::FindClass("TLvFilterImage");
      Classes::TComponent* Made = Class.Create(&Form);
      std::cout << Made->ClassName() << " " << Class.UnitName << " " << Class.PublishedProperties().size() << "\n";
    }
    SysUtils::UnloadPackage(Module);
    std::cout << (TypInfo::GetClass("TLvFilterImage") ? "still registered" : "unregistered") << "\n";
  } catch (const std::exception& E) {
    std::cerr << "host: " << E.what() << "\n";
    return 1;
  }
  return 0;
}
