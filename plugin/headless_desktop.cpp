// A desktop without windows: dialogs answered from given values, every call recorded.
#include <cstdio>
#include <string>

#include "plugin/plugin.h"

namespace tessaline {

namespace {

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return "information";
    case MessageIcon::Warning:
      return "warning";
    case MessageIcon::Error:
      return "error";
  }
  return "";
}

}  // namespace

bool HeadlessDesktop::LoadModule() {
  calls.push_back("load");
  return moduleLoads;
}

void HeadlessDesktop::ReleaseModule() {
  calls.push_back("release");
}

int HeadlessDesktop::ShowOptionsDialog(ExportSettings& settings) {
  calls.push_back("options");
  // The dialog's start sets every field; OK then reads the controls.
  settings = StartSettings();
  if (!optionsAccepted) return 2;
  settings = SettingsFromControls(options);
  return 1;
}

void HeadlessDesktop::OpenProgressWindow() {
  calls.push_back("progress open");
  low_ = 0;
  high_ = 100;
  step_ = 10;
  barPosition = 0;
  stage_ = "Please wait while converting...";
  Draw();
}

void HeadlessDesktop::CloseProgressWindow() {
  calls.push_back("progress close");
  if (drawProgress && drawnWidth_ > 0) {
    std::fprintf(stderr, "\r%*s\r", drawnWidth_, "");
    std::fflush(stderr);
  }
  drawnWidth_ = 0;
}

bool HeadlessDesktop::ShowSaveDialog(std::string& path) {
  calls.push_back("save");
  if (!saveAccepted) return false;
  path = savePath.substr(0, 511);
  return true;
}

void HeadlessDesktop::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  calls.push_back("message " + caption + "|" + text + "|" + IconName(icon));
  if (!printMessages) return;
  std::FILE* stream = icon == MessageIcon::Error ? stderr : stdout;
  std::fputs(text.c_str(), stream);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stream);
}

bool HeadlessDesktop::AcceptScene(const SceneReading& reading) {
  return !refuseNonScenes || reading.hasSceneElements;
}

void HeadlessDesktop::Remark(const std::string& text) {
  calls.push_back("remark " + text);
  if (!printMessages) return;
  if (drawProgress) std::fputs("\r\033[K", stderr);
  std::fprintf(stderr, "tessaline: %s\n", text.c_str());
  Draw();
}

void HeadlessDesktop::SetStageText(const std::string& text) {
  calls.push_back("stage " + text);
  stage_ = text;
  Draw();
}

void HeadlessDesktop::SetBarRange(int low, int high) {
  calls.push_back("range " + std::to_string(low) + " " + std::to_string(high));
  low_ = low;
  high_ = high;
  SetPositionClamped(barPosition);
}

void HeadlessDesktop::SetBarStep(int step) {
  calls.push_back("step-size " + std::to_string(step));
  step_ = step;
}

void HeadlessDesktop::StepBar() {
  calls.push_back("step");
  SetPositionClamped(barPosition + step_);
}

void HeadlessDesktop::SetBarPosition(int position) {
  calls.push_back("position " + std::to_string(position));
  SetPositionClamped(position);
}

void HeadlessDesktop::AdvanceBar(int delta) {
  calls.push_back("advance " + std::to_string(delta));
  SetPositionClamped(barPosition + delta);
}

void HeadlessDesktop::SetPositionClamped(int position) {
  if (position < low_) position = low_;
  if (position > high_) position = high_;
  barPosition = position;
  Draw();
}

FileSystem& HeadlessDesktop::Files() {
  return files != nullptr ? *files : standardFiles_;
}

void HeadlessDesktop::Draw() {
  if (!drawProgress) return;
  const int span = high_ > low_ ? high_ - low_ : 1;
  const int percent = (barPosition - low_) * 100 / span;
  const int filled = percent * 30 / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(30, ' ');
  // Only a carriage return and spaces over the rest of the previous line: every terminal and console
  // understands these, without control sequences.
  char number[16];
  std::snprintf(number, sizeof number, "%3d%%", percent);
  const std::string line = "[" + bar + "] " + number + "  " + stage_;
  const int width = static_cast<int>(line.size());
  std::fprintf(stderr, "\r%s%*s", line.c_str(), drawnWidth_ > width ? drawnWidth_ - width : 0, "");
  if (drawnWidth_ < width) drawnWidth_ = width;
  std::fflush(stderr);
}

bool HeadlessDesktop::CreateFolder(const std::string& path) {
  calls.push_back("folder " + path);
  return Files().CreateFolder(path);
}

PathKind HeadlessDesktop::KindOf(const std::string& path) {
  return Files().KindOf(path);
}

std::string HeadlessDesktop::FileIdentity(const std::string& path) {
  return Files().FileIdentity(path);
}

std::unique_ptr<OutputFile> HeadlessDesktop::CreateTemporaryFile(const std::string& target,
                                                                 std::string& temporary) {
  std::unique_ptr<OutputFile> file = Files().CreateTemporaryFile(target, temporary);
  calls.push_back("temporary " + temporary);
  return file;
}

bool HeadlessDesktop::ReplaceFile(const std::string& from, const std::string& to) {
  calls.push_back("replace " + from + " -> " + to);
  return Files().ReplaceFile(from, to);
}

void HeadlessDesktop::RemoveFile(const std::string& path) {
  calls.push_back("remove " + path);
  Files().RemoveFile(path);
}

std::string HeadlessDesktop::NativePath(const std::string& path) {
  return Files().NativePath(path);
}

}  // namespace tessaline
