#include <cstring>
#include <new>

#include "plugin/plugin.h"

namespace tessaline {

const char* const kInstallDirectoryRequest = "<request>\n   <installdirectory />\n</request>";
const char* const kSceneAllRequest =
    "<request>\n"
    "   <materials subset=\"all\" retrieveID=\"false\" />\n"
    "   <primitives subset=\"all\" retrieveID=\"false\" />\n"
    "</request>";
const char* const kSceneSelectionRequest =
    "<request>\n"
    "   <materials subset=\"all\" retrieveID=\"false\" />\n"
    "   <primitives subset=\"selection\" retrieveID=\"false\" />\n"
    "</request>";
const char* const kXmlDeclaration = "<?xml version=\"1.0\"?>\n";

namespace {

const char* ErrorDescription(uint32_t code) {
  switch (code) {
    case 1:
      return "No Data present.";
    case 2:
      return "Invalid Version.";
    case 3:
      return "Invalid GetMem Command.";
    case 4:
      return "Invalid GetData Command.";
    case 5:
      return "Invalid SetData Command.";
    case 6:
      return "Invalid Header.";
    case 7:
      return "Invalid Data String.";
    case 8:
      return "Invalid Data Property.";
    case 11:
      return "Error in Object Data.";
    case 12:
      return "Error in Light Data.";
    case 13:
      return "Error in Material Data.";
    case 98:
      return "Unknown Callback Reason.";
    case 99:
      return "Unknown Error.";
    default:
      return "Unknown Error Code.";
  }
}

}  // namespace

std::string CallbackErrorText(uint32_t code) {
  return "Error Code " + std::to_string(code) + ": " + ErrorDescription(code);
}

bool HostExchange::RequestSize() {
  record_ = CallbackRecord{};
  record_.reason = GetMem;
  record_.request = request_;
  record_.size = 0;
  const uint32_t result = callback_(&record_);
  if (result != 0) {
    desktop_.ShowMessage(CallbackErrorText(result), "Error in Callback", MessageIcon::Error);
    return false;
  }
  return record_.size != 0;
}

bool HostExchange::RequestData(std::string& text) {
  const size_t declarationLength = std::strlen(kXmlDeclaration);
  const size_t size = record_.size;
  // The answer goes straight behind the declaration in the text the reader gets, so it is held once.
  try {
    text.assign(declarationLength + size, '\0');
  } catch (const std::exception&) {
    text.clear();
    text.shrink_to_fit();
    desktop_.ShowMessage("The editor's answer (" + std::to_string(size) +
                             " bytes) does not fit in memory; nothing was exported.\n",
                         "Tessaline", MessageIcon::Error);
    return false;
  }
  std::memcpy(text.data(), kXmlDeclaration, declarationLength);
  record_.reason = GetData;
  record_.request = request_;
  record_.buffer = reinterpret_cast<uint8_t*>(text.data() + declarationLength);
  const uint32_t result = callback_(&record_);
  record_.buffer = nullptr;
  if (result != 0) {
    text.clear();
    text.shrink_to_fit();
    desktop_.ShowMessage(CallbackErrorText(result), "Error in Callback", MessageIcon::Error);
    return false;
  }
  // The answer ends at its first NUL (the whole buffer when it holds none).
  const char* answer = text.data() + declarationLength;
  const void* nul = std::memchr(answer, '\0', size);
  if (nul != nullptr)
    text.resize(declarationLength + static_cast<size_t>(static_cast<const char*>(nul) - answer));
  return true;
}

}  // namespace tessaline
