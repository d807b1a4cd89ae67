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

ExchangeResult HostExchange::RequestSize() {
  record_ = CallbackRecord{};
  record_.reason = GetMem;
  record_.request = request_;
  record_.size = 0;
  const uint32_t result = host_.Answer(record_);
  if (result != 0) return {ExchangeError::HostFailed, result};
  if (record_.size == 0) return {ExchangeError::NoAnswer, 0};
  return {};
}

ExchangeResult HostExchange::RequestData(std::string& text) {
  const size_t declarationLength = std::strlen(kXmlDeclaration);
  const size_t size = record_.size;
  // The answer goes straight behind the declaration in the text the reader gets, so it is held once.
  try {
    text.assign(declarationLength + size, '\0');
  } catch (const std::exception&) {
    std::string().swap(text);
    return {ExchangeError::AnswerTooLarge, record_.size};
  }
  std::memcpy(text.data(), kXmlDeclaration, declarationLength);
  record_.reason = GetData;
  record_.request = request_;
  record_.buffer = reinterpret_cast<uint8_t*>(text.data() + declarationLength);
  const uint32_t result = host_.Answer(record_);
  record_.buffer = nullptr;
  if (result != 0) {
    std::string().swap(text);
    return {ExchangeError::HostFailed, result};
  }
  // The answer ends at its first NUL (the whole buffer when it holds none).
  const char* answer = text.data() + declarationLength;
  const void* nul = std::memchr(answer, '\0', size);
  if (nul != nullptr)
    text.resize(declarationLength + static_cast<size_t>(static_cast<const char*>(nul) - answer));
  return {};
}

std::optional<DesktopMessage> ExchangeMessage(const ExchangeResult& result) {
  switch (result.error) {
    case ExchangeError::HostFailed:
      return DesktopMessage{"Error in Callback", CallbackErrorText(result.detail), MessageIcon::Error};
    case ExchangeError::AnswerTooLarge:
      return DesktopMessage{"Tessaline",
                            "The editor's answer (" + std::to_string(result.detail) +
                                " bytes) does not fit in memory; nothing was exported.\n",
                            MessageIcon::Error};
    case ExchangeError::None:
    case ExchangeError::NoAnswer:
      break;
  }
  return std::nullopt;
}

}  // namespace tessaline
