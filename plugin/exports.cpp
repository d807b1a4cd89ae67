// The functions the editor calls, and the little state the module keeps between them.
#include <memory>

#include "plugin/plugin.h"

namespace tessaline {

const char* const kAuthorName = "Quorvin";
const char* const kAuthorEmail = "quorvin@tessaline.example";

namespace {

HostCallback g_callback = nullptr;
Desktop* g_desktop = nullptr;
// Created on the first export and kept while the module is loaded; every export fills it anew.
std::unique_ptr<ExportSettings> g_settings;

}  // namespace

void SetDesktop(Desktop* desktop) {
  g_desktop = desktop;
}

}  // namespace tessaline

extern "C" {

const char* TESSALINE_STDCALL PluginName() {
  return "DeleD Tessaline Plugin";
}

const char* TESSALINE_STDCALL PluginDescription() {
  return "This is Tessaline plugin that exports a DBO file to be used with DarkBasic Pro.";
}

const char* TESSALINE_STDCALL PluginDeleDVersion() {
  return "1.6";
}
const char* TESSALINE_STDCALL PluginVersion() {
  return "2.0";
}
const char* TESSALINE_STDCALL PluginAuthor() {
  return tessaline::kAuthorName;
}
const char* TESSALINE_STDCALL PluginEmail() {
  return tessaline::kAuthorEmail;
}

void TESSALINE_STDCALL PluginSetCallback(tessaline::HostCallback callback) {
  tessaline::g_callback = callback;
}

void TESSALINE_STDCALL PluginExecute() {
  using namespace tessaline;
  if (g_desktop == nullptr || g_callback == nullptr) return;
  if (!g_settings) g_settings = std::make_unique<ExportSettings>();
  CallbackHost host(g_callback);
  RunExport(*g_desktop, host, *g_settings);
}

}  // extern "C"
