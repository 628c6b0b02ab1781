// The Classes unit: persistent objects, components and their ownership,
// class registration and the component palette.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "System.hpp"
#include "TypInfo.hpp"

namespace Classes {

class EStreamError : public System::Exception { using Exception::Exception; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
// A fault of a stored form or a stream: what was read (Source), where in
// it ("offset 277", "line 4"; empty when nowhere in particular) and the
// fault itself, kept apart so that a host can show each as it needs;
// the message joins them.
class EReadError : public EStreamError {
public:
  // What a reader that is told of faults may skip or keep: a class, a
  // property or a value (a name of an enumeration, a colour, a cursor) the
  // host does not know; a reference to a component the form does not
  // hold; or nothing.
  enum class TKind { Fault, UnknownClass, UnknownProperty, UnknownValue, UnresolvedReference };

  explicit EReadError(std::string Message) : EStreamError(Message), FFault(std::move(Message)) {}
  EReadError(std::string Source, std::string Where, std::string Fault, TKind Kind = TKind::Fault,
             std::string Subject = {})
      : EStreamError(Join(Source, Where, Fault)), FSource(std::move(Source)), FWhere(std::move(Where)),
        FFault(std::move(Fault)), FSubject(std::move(Subject)), FKind(Kind) {}
  const std::string& Source() const { return FSource; }
  const std::string& Where() const { return FWhere; }
  const std::string& Fault() const { return FFault; }
  // What the fault is about, as stored: the unknown class, property or
  // value, or the name of the missing component; empty for other faults.
  const std::string& Subject() const { return FSubject; }
  TKind Kind() const { return FKind; }

private:
  static std::string Join(const std::string& Source, const std::string& Where, const std::string& Fault) {
    std::string Message = Source;
    for (const std::string* Part : {&Where, &Fault})
      if (!Part->empty()) Message.append(Message.empty() ? "" : ": ").append(*Part);
    return Message;
  }
  std::string FSource, FWhere, FFault, FSubject;
  TKind FKind = TKind::Fault;
};
class EWriteError : public EStreamError { using EStreamError::EStreamError; };
class EComponentError : public System::Exception { using Exception::Exception; };
class EResNotFound : public System::Exception { using Exception::Exception; };

class TFiler;
class TReader;
namespace Form { struct TObject; struct TKept; }
class TWriter;
class TComponent;

// ---- Streams -----------------------------------------------------------------

// What a host answers when told of a fault it may skip: refuse the form,
// skip what the fault names (a class with everything inside it), or keep
// it as the form stores it, to be written back as it was (a class as a
// placeholder that holds what is inside it). true skips, false refuses.
class TReadAnswer {
public:
  enum TAction { Refuse, Skip, Keep };
  TReadAnswer(TAction Action) : FAction(Action) {}
  TReadAnswer(bool Skipped) : FAction(Skipped ? Skip : Refuse) {}
  TAction Action() const { return FAction; }

private:
  TAction FAction;
};

// Prefix flags of an object in a stored form: inherited from the form's
// ancestor, listed at a position among the ancestor's children, inline
// (a frame put on the form).
using TFilerFlags = std::uint8_t;
constexpr TFilerFlags ffInherited = 1, ffChildPos = 2, ffInline = 4;

// How a stored form is read into components.
struct TReadOptions {
  // What faults name as the form read ("form" where empty): its file, or
  // the class whose resource it is.
  std::string SourceName;
  // For a form class of the application's own: each named component is
  // bound to the root's field of that name (DeclareField), and a component
  // without one, or of a class the field cannot hold, is refused.
  bool BindFields = false;
  // Told of each class, property and value the reader does not know, as
  // the EReadError that would refuse the form (its Kind says which), and
  // answers (TReadAnswer): Refuse refuses the form; Skip skips it, a class
  // with everything inside it; Keep keeps it as stored and writes it back:
  // an object of an unknown class becomes a placeholder, a control of no
  // class of its own that holds its properties, its children (made as
  // usual) and its class name. Without it every such fault refuses.
  std::function<TReadAnswer(const EReadError& Fault)> OnError;
  // Told of each reference to a component the form does not hold (one in
  // another module, "DataModule1.DataSource1", or none at all), which is
  // kept as stored and written back: such a reference never refuses a form.
  std::function<void(const EReadError& Note)> OnUnresolved;
  // The single-byte code page a text form that is not UTF-8 is read in.
  int CodePage = 1252;
  // For a host without the form's code: event handler names that the
  // root's method table lacks are kept unbound, so that storing the form
  // writes them back. Otherwise such a name is refused.
  bool KeepUnboundHandlers = false;
  // Asked for the name of each component read, before it is given; a
  // design host pasting components renames those whose name is taken.
  std::function<void(const std::string& ClassName, std::string& Name)> OnSetName;
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;
  // Up to Count bytes; answers how many were moved.
  virtual std::size_t Read(void* Buffer, std::size_t Count) = 0;
  virtual std::size_t Write(const void* Buffer, std::size_t Count) = 0;
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t Value) { Seek(Value, soBeginning); }
  std::int64_t Size();
  // All Count bytes or EReadError / EWriteError.
  void ReadBuffer(void* Buffer, std::size_t Count);
  void WriteBuffer(const void* Buffer, std::size_t Count);
  // Count bytes from Source's position on (0: all of Source, from its start).
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);

  // Writes Root and the components it holds as a binary form file.
  void WriteComponent(TComponent* Root);
  // Reads one: into Root, or, when Root is nullptr, into a new component
  // of the class the stream names (the caller owns it). A failed read
  // raises EReadError and leaves no component it made and Root as it was.
  TComponent* ReadComponent(TComponent* Root, const TReadOptions& Options);
  TComponent* ReadComponent(TComponent* Root);
};

// A stream over bytes in memory.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> Data) : FData(std::move(Data)) {}
  std::size_t Read(void* Buffer, std::size_t Count) override;
  std::size_t Write(const void* Buffer, std::size_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  const std::vector<std::uint8_t>& Memory() const { return FData; }
  void Clear() { FData.clear(), FPosition = 0; }
  // Reads a file whole (with the size cap of every reader), or writes this
  // stream's bytes to one all or nothing.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

private:
  std::vector<std::uint8_t> FData;
  std::size_t FPosition = 0;
};

// ---- Files -------------------------------------------------------------------

// Reads a whole file with the size cap every reader applies
// (SysUtils::MaxFileSize), refusing a larger one from its size before
// reading; raises EFOpenError or EReadError naming the file.
std::vector<std::uint8_t> ReadFileBytes(const std::string& FileName);

// A file written all or nothing. It has no name until Commit gives it the
// target's, atomically replacing what was there (through a symbolic link,
// the link's target); dropped uncommitted, or on an interrupt, it leaves
// nothing behind. Several writers committed one after another write a set
// of files that are all complete before any of them appears. Raises
// EWriteError "<name>: cannot write: <the system's reason>", at
// construction already when the file could not be written at all.
class TFileWriter {
public:
  explicit TFileWriter(const std::string& FileName);
  ~TFileWriter();
  TFileWriter(const TFileWriter&) = delete;
  TFileWriter& operator=(const TFileWriter&) = delete;

  const std::string& FileName() const { return FFileName; }
  std::ostream& Stream();
  void Commit();

private:
  friend void CommitFiles(std::initializer_list<TFileWriter*> Files);
  struct TImpl;
  std::string FFileName;
  std::unique_ptr<TImpl> FImpl;
};

// Commits the writers of one run together (null ones skipped), so that
// they appear all or none: where the system lets a name be put back (on
// Windows), a failure part-way restores what the files before it replaced.
void CommitFiles(std::initializer_list<TFileWriter*> Files);

// Writes the file all or nothing, through a TFileWriter.
void WriteFileBytes(const std::string& FileName, std::span<const std::uint8_t> Data);
// The same for content written to a stream; an exception from Write leaves
// the file as it was.
void WriteFile(const std::string& FileName, const std::function<void(std::ostream&)>& Write);

// Form files both ways: the binary form and the text form as the design
// host shows it. Raise EReadError naming the offset or line and the fault.
void ObjectBinaryToText(TStream& Input, TStream& Output);
void ObjectTextToBinary(TStream& Input, TStream& Output);
// A form file of either kind (told apart by its signature) checked whole,
// then written in the kind asked for, a piece at a time: besides the input
// it holds no more than the decoded form.
void ConvertForm(TStream& Input, TStream& Output, bool AsText, const std::string& SourceName = "form",
                 int CodePage = 1252);
// TStream::ReadComponent for the text form, whose faults name their line.
TComponent* ReadComponentText(TStream& Input, TComponent* Root, const TReadOptions& Options = {});
// The text form of a binary form with each binary value of more than 64
// bytes (a picture's data) kept out, in Folded, and written as the
// identifier FoldedDataN instead: a form holding large pictures reads as
// text at once. Reading such text with the same Folded puts them back.
using TFoldedData = std::vector<std::vector<std::uint8_t>>;
std::string FoldedFormText(const std::vector<std::uint8_t>& Binary, TFoldedData& Folded);
TComponent* ReadFoldedComponentText(const std::string& Text, const TFoldedData& Folded, TComponent* Root,
                                    const TReadOptions& Options = {});

// What a design host does with components on a form: its clipboard holds
// their text form, one object after another ("object Image1: TImage ...
// end"), and its inspector shows and takes each published property's value
// as the text form writes it.
std::string ComponentsToText(const std::vector<TComponent*>& Components);
// Reads such text into new components owned by Root, each given to Parent
// as its parent; answers them in order. A failed read raises EReadError
// naming the line and the fault, and leaves nothing it made.
std::vector<TComponent*> ReadComponentsText(const std::string& Text, TComponent* Root, TComponent* Parent,
                                            const TReadOptions& Options = {});
// A string as the text form writes it ('it''s', 'a'#13#10'b', #9786): the
// text it stands for, in UTF-8. Raises EReadError for anything else.
std::string ReadTextString(const std::string& Text);
// And back: the text form of a string, quoted ('it''s').
std::string TextString(const std::string& Utf8);
// The published property a dotted path names ("Font.Style": Style of the
// font Font holds), and in Holder the object that has it; nullptr where
// there is none.
const TypInfo::TPropInfo* FindPropertyPath(const TComponent& Component, const std::string& Path,
                                           const System::TObject** Holder = nullptr);
// Path names a published property, or one of an object property's own
// ("Font.Style"), or an element of a set ("Anchors.akLeft", True or False).
// The value is written even where it is the default; an
// object a property holds is "(TFont)", a component it refers to by name.
std::string GetPropertyText(const TComponent& Component, const std::string& Path);
// Sets it through the property table's setter, as reading a form does; an
// event takes a handler's name, kept unbound, and '' (or nothing) clears it. Raises
// EReadError naming the component, the property and the fault, and then
// leaves the value as it was.
void SetPropertyText(TComponent& Component, const std::string& Path, const std::string& Text);
// The paths of the properties a stored form holds for Component, in the
// order the writer writes them ("Left", "Font.Style", "Picture.Data"): what a
// design host shows in bold. Its children are not included, and no binary
// value is produced.
std::vector<std::string> StoredProperties(const TComponent& Component);

// ---- Persistent objects -------------------------------------------------------

class TPersistent : public System::TObject {
public:
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;
  // Takes on the content of Source; raises EConvertError when this class
  // does not know how.
  virtual void Assign(const TPersistent* Source);
  // Declares data stored besides the published properties (a bitmap's
  // pixels), through Filer.DefineProperty or DefineBinaryProperty.
  virtual void DefineProperties(TFiler& Filer);
};

// What storing and reading have in common: the defined properties.
class TFiler {
public:
  virtual ~TFiler() = default;
  // HasData: whether writing stores the property at all.
  virtual void DefineProperty(const std::string& Name, const std::function<void(TReader&)>& ReadData,
                              const std::function<void(TWriter&)>& WriteData, bool HasData) = 0;
  // A binary value: the callbacks see its bytes as a stream.
  virtual void DefineBinaryProperty(const std::string& Name, const std::function<void(TStream&)>& ReadData,
                                    const std::function<void(TStream&)>& WriteData, bool HasData) = 0;
};

class EConvertError : public System::Exception { using Exception::Exception; };

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  // Destroys every component it owns, then leaves its own owner's list.
  ~TComponent() override;
  static const TypInfo::TClassInfo& ClassInfo();
  const TypInfo::TClassInfo& ClassType() const override;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  // The top of the ownership chain: the form or data module this belongs to.
  TComponent* Root();
  // An identifier, unique among the owner's components without regard to
  // case; raises EComponentError otherwise.
  void SetName(const std::string& Value);
  // The class a stored form names for this component: its own, or for a
  // root read from a form of the application's own descendant (TForm1 for
  // a TForm), which a host does not have, that class, kept so that storing
  // the form writes it back. Empty sets it back to the component's own.
  std::string StoredClassName() const { return FStoredClassName.empty() ? ClassName() : FStoredClassName; }
  void SetStoredClassName(const std::string& Value) { FStoredClassName = Value; }
  // How a stored form listed this component (ffInherited, ffInline,
  // ffChildPos with its position), written back as read.
  TFilerFlags FilerFlags() const { return FFilerFlags; }
  std::int64_t ChildPosition() const { return FChildPosition; }
  void SetFilerFlags(TFilerFlags Flags, std::int64_t ChildPosition = 0);
  // Where a design host shows a component without a place of its own (a
  // popup menu), as the environment keeps it: the left in the low 16 bits,
  // the top in the high ones. Stored as Left and Top where not 0.
  std::int32_t DesignInfo() const { return FDesignInfo; }
  void SetDesignInfo(std::int32_t Value) { FDesignInfo = Value; }
  void DefineProperties(TFiler& Filer) override;
  // What a stored form held for this component that it could not take in
  // (TReadOptions::OnError answered Keep): properties and values as they
  // were stored, written back where they were; every property, for a
  // placeholder. nullptr where there is nothing.
  Form::TKept* Kept() const { return FKept.get(); }
  Form::TKept& Keep();
  // Whether this is a placeholder for an object of a class the host lacks.
  bool IsPlaceholder() const;
  // The component a stored form lists this one inside where that one is
  // not its parent control (the items of a popup menu, a non-visual
  // component inside a placeholder): it is stored among that one's
  // children, and goes with it. nullptr: none.
  TComponent* Holder() const { return FHolder; }
  void SetHolder(TComponent* Value);
  long Tag() const { return FTag; }
  void SetTag(long Value) { FTag = Value; }
  int ComponentCount() const { return int(FComponents.size()); }
  TComponent* Components(int Index) const;
  TComponent* FindComponent(const std::string& AName) const;
  // The place in the owner's list, which is the order components are made
  // in when a form is read; setting it moves this one there.
  int ComponentIndex() const;
  void SetComponentIndex(int Value);

  // Asks to be told through Notification when AComponent is destroyed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Storing. A component writes its published properties and then the
  // components it holds (GetChildren: the root's own without a parent,
  // and those it holds); reading creates those through their class
  // information, owned by the root and given to their holder as parent
  // (SetParentComponent), and calls Loaded on each once all is read.
  virtual void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root);
  virtual bool HasParent() const { return false; }
  virtual void SetParentComponent(TComponent*) {}
  virtual void Loaded() {}
  void WriteState(TWriter& Writer);

  // Event handlers by name. A design host names a handler in the root's
  // method table; AssignEvent sets an event property of this component to
  // the root's handler of that name and remembers the name, which is what
  // a stored form holds. An event set in code has no name and is not stored.
  void SetMethod(const std::string& Name, std::any Handler);
  const std::any* MethodAddress(const std::string& Name) const;
  // A method of this component's class as the handler of that name: a form
  // class of the application's own declares the handlers its stored form
  // names (OnMouseDown = LvFilterImage1MouseDown).
  template <class C, class... A>
  void DeclareMethod(const std::string& Name, void (C::*Method)(A...)) {
    C* Self = static_cast<C*>(this);
    SetMethod(Name, std::function<void(A...)>([Self, Method](A... Args) { (Self->*Method)(Args...); }));
  }

  // Fields by name: a form class of the application's own declares the
  // field that is to point at each component of its stored form, and
  // reading the form binds them (TReadOptions::BindFields). Declaring a
  // field registers its class, so that the form may name it.
  struct TField {
    std::string Name;
    const TypInfo::TClassInfo* Class;  // what the field can hold
    std::function<void(TComponent*)> Bind;
  };
  template <class T>
  void DeclareField(const std::string& Name, T*& Field) {
    TypInfo::RegisterClass(T::ClassInfo());
    AddField({Name, &T::ClassInfo(), [&Field](TComponent* Component) { Field = dynamic_cast<T*>(Component); }});
  }
  const TField* FieldAddress(const std::string& Name) const;
  void AssignEvent(const std::string& Property, const std::string& HandlerName);
  std::string EventName(const std::string& Property) const;

protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  std::string FStoredClassName;
  TFilerFlags FFilerFlags = 0;
  std::int64_t FChildPosition = 0;
  std::int32_t FDesignInfo = 0;
  std::unique_ptr<Form::TKept> FKept;
  TComponent* FHolder = nullptr;              // not owned
  std::vector<TComponent*> FHeld;             // held, in order; destroyed with this one
  long FTag = 0;
  std::vector<TComponent*> FComponents;       // owned: destroyed with this one
  // The named ones among them by name in lower case, for FindComponent on
  // forms of thousands of components.
  std::unordered_map<std::string, TComponent*> FNamed;
  std::vector<TComponent*> FFreeNotifies;     // told when this one goes
  std::vector<std::pair<std::string, std::any>> FMethods;         // name, handler
  std::vector<std::pair<std::string, std::string>> FEventNames;   // property, handler name
  std::vector<TField> FFields;
  void AddField(TField Field);
  friend class TLoader;
};

// Stores components as a binary form, from their published properties.
class TWriter : public TFiler {
  friend std::vector<std::string> StoredProperties(const TComponent& Component);

public:
  explicit TWriter(TStream& Stream);
  ~TWriter() override;
  void WriteRootComponent(TComponent* Root);
  void DefineProperty(const std::string& Name, const std::function<void(TReader&)>& ReadData,
                      const std::function<void(TWriter&)>& WriteData, bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, const std::function<void(TStream&)>& ReadData,
                            const std::function<void(TStream&)>& WriteData, bool HasData) override;
  // A defined property's value, from its WriteData: the last one written.
  void WriteInteger(std::int64_t Value);
  void WriteBoolean(bool Value);
  void WriteString(const std::string& Value);
  void WriteIdent(const std::string& Value);
  void WriteBinary(const std::vector<std::uint8_t>& Data);

  // Used by TComponent::WriteState.
  void WriteProperties(const TPersistent& Instance);
  void WriteComponent(TComponent& Component);
  // One component of a form and what it holds, as the tree of its object.
  void WriteOne(TComponent& Component, std::vector<Form::TObject>& Out);

private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};

// A value of a stored form, as a defined property's reader sees it.
class TReader : public TFiler {
public:
  struct TImpl;
  explicit TReader(TImpl& Impl) : F(Impl) {}
  void DefineProperty(const std::string& Name, const std::function<void(TReader&)>& ReadData,
                      const std::function<void(TWriter&)>& WriteData, bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, const std::function<void(TStream&)>& ReadData,
                            const std::function<void(TStream&)>& WriteData, bool HasData) override;
  std::int64_t ReadInteger();
  bool ReadBoolean();
  std::string ReadString();
  std::string ReadIdent();

private:
  TImpl& F;
};

// Visits every component that exists, in no particular order.
void ForEachComponent(const std::function<void(const TComponent&)>& Visit);

using TComponentClass = const TypInfo::TClassInfo*;

// Puts the classes on the named page of the component palette, in order.
void RegisterComponents(const std::string& Page, std::initializer_list<TComponentClass> ComponentClasses);

struct TPalettePage {
  std::string Name;
  std::vector<TComponentClass> Classes;
};
// What the design host shows: the pages in order of first registration.
const std::vector<TPalettePage>& PalettePages();
void ClearPalette();
// Takes the class off every page; a page left empty goes.
void UnregisterComponentClass(TComponentClass Class);

// The class a reader keeps an object of an unknown class in when told to
// (TReadAnswer::Keep): the Controls unit's placeholder, a windowed control.
// It is registered by no name of its own, as no form names it: a
// placeholder stores the class name it stands for.
void RegisterPlaceholderClass(TComponentClass Class);
TComponentClass PlaceholderClass();

using TypInfo::FindClass;
using TypInfo::GetClass;
using TypInfo::RegisterClass;

}  // namespace Classes
