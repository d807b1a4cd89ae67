// A host for whole export runs in tests: answers requests from given texts, fails on demand, and records
// every call it receives.
#pragma once

#include <cstring>
#include <map>
#include <string>

#include "plugin/plugin.h"

namespace tessaline::testing {

struct ScriptedHost final : Host {
  std::map<std::string, std::string> answers;                   // by request text
  std::map<std::pair<std::string, uint32_t>, uint32_t> errors;  // (request, reason) -> result code
  std::map<std::string, uint32_t> announcedSizes;               // GetMem size overrides
  std::string calls;  // per call: i, a or s (install directory, all objects, selection), then the reason

  uint32_t Answer(CallbackRecord& record) override {
    const std::string request = record.request;
    calls += (request == kInstallDirectoryRequest ? "i"
              : request == kSceneAllRequest       ? "a"
                                                  : "s") +
             std::to_string(record.reason);
    auto error = errors.find({record.request, record.reason});
    if (error != errors.end()) return error->second;
    auto answer = answers.find(record.request);
    if (answer == answers.end()) return 1;
    if (record.reason == GetMem) {
      auto size = announcedSizes.find(record.request);
      record.size =
          size != announcedSizes.end() ? size->second : static_cast<uint32_t>(answer->second.size() + 1);
      return 0;
    }
    std::memcpy(record.buffer, answer->second.c_str(),
                std::min<size_t>(record.size, answer->second.size() + 1));
    return 0;
  }
};

}  // namespace tessaline::testing
