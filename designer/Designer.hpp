// The design host's model: the form being designed, its selection,
// clipboard, undo stack and inspector rows, and the packages whose
// components the palette offers. It knows no window: the window draws
// what it answers and feeds it the user's input, and scripts and tests
// drive it through the same actions (Actions.hpp).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Classes.hpp"
#include "Forms.hpp"
#include "Graphics.hpp"
#include "Windows.hpp"

namespace Design {

// An edit the designer refused: a bad name or value, nothing selected that
// the edit applies to. The form is as it was.
class EDesignError : public System::Exception { using Exception::Exception; };

// ---- Packages and the palette ------------------------------------------------

struct TPaletteButton {
  std::string Page;
  Classes::TComponentClass Class = nullptr;
  // The palette bitmap the package carries for the class; empty when it
  // has none, and the window draws a plain glyph.
  std::shared_ptr<const Graphics::TBitmap> Glyph;
  // The module that registered the class, where a window may take its
  // bitmap from as the system loads it; 0 for the framework's own classes.
  Windows::HMODULE Module = 0;
};

// The design packages loaded, each with its Register called, as the
// environment loads them at start and through "Install Package".
class TPackages {
public:
  TPackages() = default;
  TPackages(const TPackages&) = delete;
  TPackages& operator=(const TPackages&) = delete;
  ~TPackages();
  // Loads the package and calls the Register procedure of each unit it
  // contains. Raises SysUtils::EPackageError or EDesignError naming the
  // file; nothing stays loaded then.
  void Install(const std::string& FileName);
  // Unloads it. InUse tells whether the form holds a component of one of
  // its classes; such a package stays, and EDesignError says why.
  void Remove(const std::string& FileName, const std::function<bool(Classes::TComponentClass)>& InUse);
  std::vector<std::string> Installed() const;
  // One button per class the packages registered, page by page.
  std::vector<TPaletteButton> Palette() const;

private:
  struct TPackage {
    std::string FileName;
    Windows::HMODULE Module = 0;
    std::vector<Classes::TComponentClass> Classes;  // what its Register put on the palette
    std::vector<std::shared_ptr<const Graphics::TBitmap>> Glyphs;  // of each class, or none
  };
  std::vector<TPackage> FPackages;
};

// ---- The inspector -------------------------------------------------------------

enum class TRowKind {
  Integer, String, Boolean, Enumeration, Set, SetElement, Color, Cursor, Object, Reference, Graphic, Event
};

struct TInspectorRow {
  std::string Path;   // "Font.Style", "Anchors.akLeft": what set takes
  std::string Name;   // the last part, as the row shows it
  int Depth = 0;      // 1 under an expanded set or object
  std::string Value;  // as the text form writes it; "(TBitmap)" or "(None)" for a picture
  TRowKind Kind = TRowKind::Integer;
  bool NotDefault = false;   // shown in bold
  bool ReadOnly = false;
  bool Expandable = false;   // a set or an object with rows of its own
  std::vector<std::string> Choices;  // names a list offers: enumerations, colours, cursors, components
};

// ---- The model ---------------------------------------------------------------------

enum class TGrab {
  None, Left, TopLeft, Top, TopRight, Right, BottomRight, Bottom, BottomLeft,
  // The form's own right and bottom edges and their corner: dragging sizes the form.
  FormRight, FormBottom, FormCorner
};

// How the selection lines up: by the first selected component's edges or
// centre lines.
enum class TLineUp { Lefts, Centres, Rights, Tops, Middles, Bottoms };

// What Open asks about each fault of a form with components the framework
// lacks, as the environment asks: skip it (a class with everything inside
// it), keep it as stored (a class as a placeholder holding what is inside
// it), each for this fault or for it and all that follow; or refuse the form.
enum class TIgnoreAnswer { Ignore, IgnoreAll, Cancel, Keep, KeepAll };
using TAskIgnore = std::function<TIgnoreAnswer(const std::string& Fault)>;

// The edits done and undone, as the states of the stored form. An edit is
// made on the live form and then kept as the bytes in which the form's
// stored state changed; undo and redo put back a state by reading it, so
// they give back exactly the form the edit started from and the one it made.
class THistory;

class TDesigner {
public:
  static constexpr int GridStep = 8;
  static constexpr int HandleSize = 5;

  TDesigner();
  ~TDesigner();
  TDesigner(const TDesigner&) = delete;
  TDesigner& operator=(const TDesigner&) = delete;

  // ---- Files. Each raises on a fault, and the form is then as it was.
  // A new form, Form1 of 400 x 300 pixels inside its frame.
  void New();
  // Reads a binary or text form file. Without Ask an unknown class or
  // property refuses the form.
  // Bytes, where given, are the file's, not yet written.
  void Open(const std::string& FileName, const TAskIgnore& Ask = {}, const std::vector<std::uint8_t>* Bytes = nullptr);
  // Writes the form, binary for .dfm and text for .txt, all or nothing.
  void Save(const std::string& FileName);
  // The same into File, committed by the caller: a script's outputs are
  // all written at its end.
  void Save(Classes::TFileWriter& File);
  const std::string& FileName() const { return FFileName; }
  // The form as a binary form file holds it now.
  const std::vector<std::uint8_t>& Stored() const;
  bool Modified() const;
  // The file's name, or "Unit1" for a new form, and "*" when changed.
  std::string Title() const;
  // The last file action, for the status bar ("Saved form.txt").
  const std::string& LastFileAction() const { return FLastFileAction; }
  // The form as text, and the edited text read back in its place (an
  // undoable change; EReadError naming the line leaves the form as it was).
  std::string Text() const;
  // The same with each picture's data folded into a name (FoldedData1),
  // which SetText puts back: a form with large pictures shows at once.
  std::string FoldedText();
  void SetText(const std::string& Text, const TAskIgnore& Ask = {});

  Forms::TForm& Form() const { return *FForm; }
  // The components on the form, the form first.
  std::vector<Classes::TComponent*> Components() const;
  Classes::TComponent* FindComponent(const std::string& Name) const;

  // ---- Selection. Never empty: nothing else selected selects the form.
  const std::vector<Classes::TComponent*>& Selection() const { return FSelection; }
  bool IsSelected(const Classes::TComponent* Component) const;
  // By names; the form's own name selects the form.
  void Select(const std::vector<std::string>& Names);
  void Select(Classes::TComponent* Component, bool Add = false);
  // Every component on the form; the form itself when there is none.
  void SelectAll();
  // The next component in creation order after the selected one (Tab).
  void SelectNext(bool Backwards = false);
  // "LvFilterImage1: 8, 8, 105 x 105", or the count of those selected and
  // the rectangle round them.
  std::string SelectionStatus() const;

  // ---- Edits. Each is one step for Undo and marks the form changed, or
  // raises, and then the form and the history are as they were. An edit
  // that would make a form the reader refuses (a size no form can show,
  // too many pictures or components, nesting too deep) is refused with the
  // reader's own words.
  // Makes a component of the class through its virtual constructor, owned
  // by the form, parented to the container under the point, at the point
  // snapped to the grid; a width or height of 0 takes the class's default.
  Classes::TComponent* Place(Classes::TComponentClass Class, int X, int Y, int Width = 0, int Height = 0);
  // On every selected component that has the property.
  void SetProperty(const std::string& Path, const std::string& Value);
  void SetEvent(const std::string& Event, const std::string& Handler);
  // The name the environment gives a new handler (LvFilterImage1Click),
  // set on the first selected component.
  std::string MakeHandler(const std::string& Event);
  // Picture (TPicture) or FilterBitMap (TBitmap) of the selection.
  void LoadGraphic(const std::string& Property, const std::string& FileName);
  void ClearGraphic(const std::string& Property);
  void SaveGraphic(const std::string& Property, const std::string& FileName) const;
  // Nudges from the keys: consecutive ones on the same components are one step.
  void Move(int DX, int DY);
  void Resize(int DWidth, int DHeight);
  void SetSize(int Width, int Height);
  // The form's client area, as dragging its edges sets it.
  void SetFormSize(int ClientWidth, int ClientHeight);
  // Lines the selected controls up with the first selected one.
  void LineUp(TLineUp How);
  // Gives the selected controls the first one's width or height.
  void SameWidth();
  void SameHeight();
  // Centres the selected controls, as a group, in their parent.
  void CentreInForm(bool Horizontally, bool Vertically);
  // Puts the selected controls above or below their siblings.
  void BringToFront();
  void SendToBack();
  void Delete();
  // The clipboard: the selected components' text form. Paste reads text
  // from anywhere the same way, renaming a component whose name is taken
  // and putting each copy of a component still on the form a grid step
  // further down and right than the last paste of the same text.
  std::string Copy() const;
  std::string Cut();
  void Paste(const std::string& Text);
  bool CanUndo() const;
  bool CanRedo() const;
  // Raise EDesignError saying what could not be undone (a component whose
  // package was removed), and then leave the form and the history as they were.
  void Undo();
  void Redo();
  // The label of the step Undo or Redo would take ("Undo Move").
  std::string UndoLabel() const;
  std::string RedoLabel() const;

  // ---- The inspector: the properties every selected component has, each
  // with its value where all have the same one and empty where they differ.
  std::vector<TInspectorRow> Properties() const;
  std::vector<TInspectorRow> Events() const;
  // Expanded sets and objects show their rows; Font starts folded.
  void SetExpanded(const std::string& Path, bool Expanded);
  bool Expanded(const std::string& Path) const;

  // ---- The mouse, at form client coordinates, as the window feeds it.
  // The palette button chosen: the next press places one of its class.
  void SetTool(Classes::TComponentClass Class) { FTool = Class; }
  Classes::TComponentClass Tool() const { return FTool; }
  void MouseDown(int X, int Y, bool Shift);
  void MouseMove(int X, int Y);
  void MouseUp(int X, int Y);
  // The grab handle of a selected component at the point, or the form's
  // edge, if any. The edges lie just outside the client area.
  TGrab GrabAt(int X, int Y) const;

  // ---- The design view: the form's client area painted by the form, with
  // its grid, an outline round each control, the handles of the selected
  // ones and the rectangle being dragged. Repainted when asked after a change.
  const Graphics::TBitmap& View();
  // Changes whenever the view would look different.
  unsigned ViewVersion() const { return FViewVersion; }

private:
  friend class THistory;
  struct TDrag;
  // Runs Do as one step of the history: Do changes the live form, and what
  // it made is checked by reading it back as a stored form. A fault in
  // either puts the form back as it was, and the step is not kept.
  // Consecutive steps with the same non-empty Merge key are one.
  void Edit(const std::string& Label, const std::string& Merge, const std::function<void()>& Do);
  void Changed();
  void Reset(std::unique_ptr<Forms::TForm> Form, const std::string& FileName);
  void Replace(std::unique_ptr<Forms::TForm> Form, const std::vector<std::string>& Selected);
  // Notes the classes the form holds placeholders of: its states may name them.
  void NoteKept();
  Controls::TWinControl* ContainerAt(int X, int Y) const;
  Controls::TControl* ControlAt(int X, int Y) const;
  std::string UniqueName(const std::string& ClassName, const std::vector<std::string>& Taken = {}) const;
  std::vector<Controls::TControl*> SelectedControls() const;
  // Each selected control's bounds made new by Change, as one step.
  void Arrange(const std::string& Label, const std::string& What, const std::string& Merge,
               const std::function<void(std::vector<Graphics::TRect>&)>& Change);
  std::vector<std::string> SelectedNames() const;
  std::string Key(const std::string& Kind) const;
  std::vector<TInspectorRow> Rows(bool Events) const;

  std::unique_ptr<Forms::TForm> FForm;
  std::string FFileName;
  std::string FLastFileAction;
  Classes::TFoldedData FFolded;  // what FoldedText left out
  std::vector<std::string> FKeptClasses;  // kept as placeholders since the form was opened
  std::vector<Classes::TComponent*> FSelection;
  std::unique_ptr<THistory> FHistory;
  std::vector<std::string> FExpanded;
  Classes::TComponentClass FTool = nullptr;
  // The text pasted last and how many times in a row: each copy goes a
  // grid step further.
  std::string FPasted;
  int FPasteCount = 0;
  unsigned FViewVersion = 1;
  unsigned FViewPainted = 0;
  Graphics::TBitmap FView;
  std::unique_ptr<TDrag> FDrag;
};

}  // namespace Design
