// plugin: the plug-in's face towards the editor, and the export run that drives everything else.
//
// This folder owns the export settings and the options dialog's rules, the host callback protocol (request
// texts, the two-call exchange, the "Error in Callback" texts), the export run itself, and the exported
// Plugin* functions. Everything the run needs from the desktop (dialogs, progress window, message boxes,
// files) goes through the Desktop interface; plugin/win32/ implements it with real windows, HeadlessDesktop
// answers from given values and records every call (the tessaline command and the tests use it).
//
// Typical use (a host of its own, as the tessaline command does):
//   HeadlessDesktop desktop;  desktop.options = ...;  desktop.savePath = "C:\\out\\level.dbo";
//   MyHost host;  // a Host that answers the requests
//   ExportSettings settings;
//   ExportOutcome outcome = RunExport(desktop, host, settings);
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/base.h"
#include "dbo/dbo.h"
#include "scene/scene.h"
#include "textures/textures.h"

// The calling convention of the exports and of the host's callback: stdcall on 32-bit Windows, the
// platform's only convention elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define TESSALINE_STDCALL __attribute__((stdcall))
#else
#define TESSALINE_STDCALL
#endif

namespace tessaline {

// ---------------------------------------------------------------------------------------------------------
// Export settings and the options dialog's rules

// The collision file the options ask for.
enum class CollisionMode : uint8_t { None, OneBigObject, PerObject };

struct ExportSettings {
  std::string sceneName;
  std::string collisionFileName;
  std::string textureFolder;
  bool allObjects = false;
  bool exportTextures = false;
  CollisionMode collisionMode = CollisionMode::None;
  float scaleX = 1.0f;
  float scaleY = 1.0f;
  float scaleZ = 1.0f;
};

// The settings as the options dialog sets them when it starts.
ExportSettings StartSettings();

// The state of the options dialog's controls, as the user left them.
struct OptionsControls {
  bool allObjects = true;  // 1006 checked (else 1008)
  std::string sceneName = "DeleDExported";
  std::string scaleX = "1.0", scaleY = "1.0", scaleZ = "1.0";
  bool exportTextures = true;                       // 1011
  std::string textureFolder = "Media";              // 1034
  bool exportCollision = false;                     // 1026
  bool oneBigObject = true;                         // 1030 (else 1031)
  std::string collisionFileName = "collision.dbo";  // 1027
};

// What OK stores: edit texts cut to 255 characters; the folder only with textures on, the collision file
// name only with collision on; scale texts read by ReadScale.
ExportSettings SettingsFromControls(const OptionsControls& controls);

// An edit's text as OK reads it: at most 255 characters.
std::string EditText(const std::string& text);

// A scale factor text: read as a decimal number and stored as a 32-bit float; a value that is not finite,
// or is 0 or negative once stored, gives 1.0.
float ReadScale(const std::string& text);

// Enabling rules of the options dialog.
inline bool FolderEditEnabled(bool exportTexturesChecked) {
  return exportTexturesChecked;
}
inline bool CollisionControlsEnabled(bool exportCollisionChecked) {
  return exportCollisionChecked;
}

// ---------------------------------------------------------------------------------------------------------
// Host protocol

enum CallbackReason : uint32_t { GetMem = 0, GetData = 1 };

// The record exchanged with the host: four 32-bit fields on the editor's platform.
struct CallbackRecord {
  uint32_t reason = GetMem;
  const char* request = nullptr;
  uint8_t* buffer = nullptr;
  uint32_t size = 0;
};

using HostCallback = uint32_t(TESSALINE_STDCALL*)(CallbackRecord* record);

extern const char* const kInstallDirectoryRequest;
extern const char* const kSceneAllRequest;
extern const char* const kSceneSelectionRequest;
extern const char* const kXmlDeclaration;  // put in front of every answer before it is read

extern const char* const kAuthorName;
extern const char* const kAuthorEmail;

// "Error Code <code>: <description>" for a non-zero callback result.
std::string CallbackErrorText(uint32_t code);

// The editor's side of the exchange: answers one callback record, returning the callback's result.
class Host {
 public:
  virtual ~Host() = default;
  virtual uint32_t Answer(CallbackRecord& record) = 0;
};

// The editor, reached through the callback it registered.
class CallbackHost final : public Host {
 public:
  explicit CallbackHost(HostCallback callback) : callback_(callback) {}
  uint32_t Answer(CallbackRecord& record) override { return callback_(&record); }

 private:
  HostCallback callback_;
};

// How an exchange with the host ended.
enum class ExchangeError : uint8_t {
  None,
  NoAnswer,        // the host announced an answer of size 0
  HostFailed,      // the callback returned a non-zero result
  AnswerTooLarge,  // the announced answer does not fit in memory
};

struct ExchangeResult {
  ExchangeError error = ExchangeError::None;
  uint32_t detail = 0;  // the callback's result (HostFailed) or the announced size (AnswerTooLarge)
  explicit operator bool() const { return error == ExchangeError::None; }
};

// One exchange with the host for one request text: the answer's size (GetMem), then the answer (GetData).
class HostExchange {
 public:
  HostExchange(Host& host, const char* request) : host_(host), request_(request) {}

  // Asks for the size of the answer.
  ExchangeResult RequestSize();
  // Fetches the answer announced by RequestSize. On success text holds the XML declaration followed by
  // the answer up to its first NUL; on failure it is empty.
  ExchangeResult RequestData(std::string& text);
  // Both steps.
  ExchangeResult Fetch(std::string& text) {
    const ExchangeResult sized = RequestSize();
    return sized ? RequestData(text) : sized;
  }

 private:
  Host& host_;
  const char* request_;
  CallbackRecord record_;
};

// ---------------------------------------------------------------------------------------------------------
// Desktop

enum class MessageIcon { Information, Warning, Error };

// A message box's caption, text and icon.
struct DesktopMessage {
  std::string caption;
  std::string text;
  MessageIcon icon = MessageIcon::Information;
};

// The message that a failed exchange shows when it happens: the "Error in Callback" box with the host's
// code, or an answer that does not fit in memory. None for an exchange that succeeded or got no answer.
std::optional<DesktopMessage> ExchangeMessage(const ExchangeResult& result);

class Desktop : public ProgressWindow, public FileSystem {
 public:
  // Makes the module's own resources reachable; false ends the run at once.
  virtual bool LoadModule() = 0;
  virtual void ReleaseModule() = 0;
  // Shows the options dialog modally; 1 for OK (settings filled), anything else for cancel.
  virtual int ShowOptionsDialog(ExportSettings& settings) = 0;
  virtual void OpenProgressWindow() = 0;
  virtual void CloseProgressWindow() = 0;
  // Asks for the DBO file's path (backslash form); false when cancelled.
  virtual bool ShowSaveDialog(std::string& path) = 0;
  virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // The code page of an answer that is not UTF-8: the editor's ANSI code page.
  virtual const CodePage& AnswerCodePage() = 0;
  // Told what the scene answer held once it is read; false ends the run with an error and writes nothing.
  // The editor always answers with a scene, so the plug-in accepts every reading.
  virtual bool AcceptScene(const SceneReading& reading) {
    (void)reading;
    return true;
  }
  // The file the scene comes from, when the host has one (the command's scene file): nothing an export
  // writes may replace it. Empty for the editor.
  virtual std::string SceneFile() { return {}; }
  // A remark on the export that the plug-in does not show: polygons left out, texture layers cut.
  virtual void Remark(const std::string& /*text*/) {}
  // Whether warnings on the model (texture layers cut) are added to the closing message, with the warning
  // icon, besides being remarked; the command keeps them to its remarks.
  virtual bool WarningsInClosingMessage() { return true; }
};

// The desktop the exports use; null until set (PluginExecute then does nothing).
void SetDesktop(Desktop* desktop);

// How an export ended.
enum class ExportStatus : uint8_t {
  Stopped,   // no closing message: the module did not load, the options or the save dialog were cancelled,
             // or the host gave no scene (a failed exchange shows its message when it happens)
  Exported,  // everything written and placed
  Warning,   // the files written, but textures not placed or materials cut to their first texture layers
  Failed,    // nothing, or not everything, written; failure says why
};

// Why an export failed.
enum class ExportFailure : uint8_t {
  None,
  UnparsableScene,
  MissingGeometry,  // a primitive without polygons or vertices
  NoScene,          // the desktop refused the reading: no scene elements at all
  TooLarge,         // sizes that do not fit the DBO file's 32-bit fields
  DboReplacesScene,
  CollisionReplacesDbo,
  CollisionReplacesScene,
  OutOfMemory,
  NotWritten,  // files that could not be written
};

struct ExportOutcome {
  ExportStatus status = ExportStatus::Stopped;
  ExportFailure failure = ExportFailure::None;
  int32_t primitiveId = 0;              // MissingGeometry: the primitive's id
  std::string refusedPath;              // the file that would replace another (the *Replaces* failures)
  std::vector<std::string> notWritten;  // NotWritten: the files, the DBO file first
  std::vector<std::string> notPlaced;   // texture names that could not be placed
  // Materials cut to their first texture layers that the closing message names (none when the desktop
  // keeps that warning to its remarks).
  std::vector<int32_t> cutLayers;
  std::vector<std::string> written;  // every file written: the DBO files, then the textures placed
  bool emptyModel = false;           // the scene held no polygons
};

// The message an export closes with ("Tessaline" caption); none for a stopped export.
std::optional<DesktopMessage> ClosingMessage(const ExportOutcome& outcome);

// One whole export run against a desktop and a host, with the module's settings object: the options
// dialog, the stages, and the closing message.
ExportOutcome RunExport(Desktop& desktop, Host& host, ExportSettings& settings);

// The collision file of a DBO file path: collisionFileName in the same folder, or for an empty name the
// main file's name up to its first "." followed by "_col.dbo".
std::string CollisionPathFor(const std::string& path, const std::string& collisionFileName);

// ---------------------------------------------------------------------------------------------------------
// Headless desktop

// Answers the dialogs from given values, keeps a record of every call, and can draw a progress line.
class HeadlessDesktop : public Desktop {
 public:
  bool moduleLoads = true;
  bool optionsAccepted = true;
  OptionsControls options;
  bool saveAccepted = true;
  const CodePage* codePage = &Windows1252();  // for answers that are not UTF-8
  // A scene file, unlike the editor's answer, may be no scene at all: with this set, a document without
  // any material, materials, primitive or primitives element is refused.
  bool refuseNonScenes = false;
  std::string savePath;            // backslash form, as the save dialog hands it over
  bool drawProgress = false;       // a progress line on stderr
  bool printMessages = false;      // message texts on stdout (errors on stderr), remarks on stderr
  std::string sceneFile;           // backslash form; see SceneFile
  bool warningsAsRemarks = false;  // see WarningsInClosingMessage
  FileSystem* files = nullptr;     // the file operations; the standard library's when null

  // Everything the run did, one line per call, e.g. "stage Please Wait....Parsing Data.", "step",
  // "message Tessaline|Scene correctly exported.\n|information", "remark 2 polygons ...".
  std::vector<std::string> calls;
  int barPosition = 0;

  bool LoadModule() override;
  void ReleaseModule() override;
  int ShowOptionsDialog(ExportSettings& settings) override;
  void OpenProgressWindow() override;
  void CloseProgressWindow() override;
  bool ShowSaveDialog(std::string& path) override;
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
  const CodePage& AnswerCodePage() override { return *codePage; }
  bool AcceptScene(const SceneReading& reading) override;
  std::string SceneFile() override { return sceneFile; }
  void Remark(const std::string& text) override;
  bool WarningsInClosingMessage() override { return !warningsAsRemarks; }

  void SetStageText(const std::string& text) override;
  void SetBarRange(int low, int high) override;
  void SetBarStep(int step) override;
  void StepBar() override;
  void SetBarPosition(int position) override;
  void AdvanceBar(int delta) override;

  bool CreateFolder(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  std::string FileIdentity(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateTemporaryFile(const std::string& target, std::string& temporary) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;
  std::string NativePath(const std::string& path) override;

 private:
  StdFileSystem standardFiles_;
  int low_ = 0, high_ = 100, step_ = 10;
  std::string stage_;
  int drawnWidth_ = 0;  // the widest progress line drawn so far
  FileSystem& Files();
  void SetPositionClamped(int position);
  void Draw();
};

}  // namespace tessaline

// ---------------------------------------------------------------------------------------------------------
// The exports, as the editor calls them.
extern "C" {
const char* TESSALINE_STDCALL PluginName();
const char* TESSALINE_STDCALL PluginDescription();
const char* TESSALINE_STDCALL PluginDeleDVersion();
const char* TESSALINE_STDCALL PluginVersion();
const char* TESSALINE_STDCALL PluginAuthor();
const char* TESSALINE_STDCALL PluginEmail();
void TESSALINE_STDCALL PluginSetCallback(tessaline::HostCallback callback);
void TESSALINE_STDCALL PluginExecute();
}
