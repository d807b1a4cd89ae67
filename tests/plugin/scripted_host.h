// A host for whole export runs in tests: answers requests from given texts, fails on demand, and records
// every call it receives.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "plugin/plugin.h"

namespace tessaline::testing {

struct HostCall {
  uint32_t reason;
  std::string request;
};

struct ScriptedHost {
  std::map<std::string, std::string> answers;                   // by request text
  std::map<std::pair<std::string, uint32_t>, uint32_t> errors;  // (request, reason) -> result code
  std::map<std::string, uint32_t> announcedSizes;               // GetMem size overrides
  std::vector<HostCall> calls;

  static ScriptedHost*& Current() {
    static ScriptedHost* current = nullptr;
    return current;
  }

  static uint32_t TESSALINE_STDCALL Callback(CallbackRecord* record) {
    ScriptedHost& host = *Current();
    host.calls.push_back({record->reason, record->request});
    auto error = host.errors.find({record->request, record->reason});
    if (error != host.errors.end()) return error->second;
    auto answer = host.answers.find(record->request);
    if (answer == host.answers.end()) return 1;
    if (record->reason == GetMem) {
      auto size = host.announcedSizes.find(record->request);
      record->size =
          size != host.announcedSizes.end() ? size->second : static_cast<uint32_t>(answer->second.size() + 1);
      return 0;
    }
    std::memcpy(record->buffer, answer->second.c_str(),
                std::min<size_t>(record->size, answer->second.size() + 1));
    return 0;
  }
};

// Installs a host for the lifetime of the object.
class HostScope {
 public:
  explicit HostScope(ScriptedHost& host) { ScriptedHost::Current() = &host; }
  ~HostScope() { ScriptedHost::Current() = nullptr; }
};

}  // namespace tessaline::testing
