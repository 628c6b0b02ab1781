// Form files as the programs read and write them: binary or text, told
// apart by content when read and by extension (.dfm, .txt) when written.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "Classes.hpp"
#include "Graphics.hpp"

namespace Tool {

// Reads a form file into Root. The faults Options.OnError is told of name
// the file, as the error of a refused form does.
void LoadForm(const std::string& FileName, Classes::TComponent* Root, const Classes::TReadOptions& Options = {});

// The same with the file's bytes in File.
void LoadFormBytes(const std::string& FileName, Classes::TMemoryStream& File, Classes::TComponent* Root,
                   const Classes::TReadOptions& Options = {});

// Writes the form in a file of either kind to Out, as text or binary, after
// reading it whole: nothing is written for a form with a fault.
// A text form that is not UTF-8 is read in CodePage.
void ConvertFormFile(const std::string& FileName, std::ostream& Out, bool AsText, int CodePage = 1252);

// The code page --codepage names: 874 or 1250 to 1258 (TBadInput otherwise).
int ParseCodePage(const std::string& Text);
extern const char* const CodePageHelp;

// Whether a name asks for the text form (.txt) or the binary form (.dfm);
// anything else is a bad name (TBadInput).
bool IsTextFormName(const std::string& FileName);
// Writes Root as a form file, binary or text as File's name says.
void SaveForm(Classes::TComponent* Root, Classes::TFileWriter& File);
// Writes binary form bytes into File, as text when AsText.
void WriteFormBytes(const std::vector<std::uint8_t>& Binary, bool AsText, Classes::TFileWriter& File);
std::string FormText(const std::vector<std::uint8_t>& Binary);

// The framework's classes a stored form may name, registered; a package's
// own come with its Register procedure.
void RegisterFormClasses();

}  // namespace Tool
