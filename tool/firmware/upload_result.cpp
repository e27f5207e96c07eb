#include "tool/firmware/upload_result.h"

namespace kt::firmware {

const char* ResultName(UploadResult r) {
  switch (r) {
    case UploadResult::kSuccess: return "success";
    case UploadResult::kTimedOut: return "timed out";
    case UploadResult::kServerError: return "server error";
    case UploadResult::kFatal: return "fatal";
    case UploadResult::kStartFailed: return "start failed";
  }
  return "fatal";
}

const char* ResultStatusLine(UploadResult r) {
  switch (r) {
    case UploadResult::kSuccess:
      return "Status: Firmware upload successful. It takes a few seconds to program and reboot";
    case UploadResult::kTimedOut: return "Status: Firmware upload timed out";
    case UploadResult::kServerError: return "Error uploading firmware. Try resetting the KX25";
    case UploadResult::kFatal: return "Fatal error.";
    case UploadResult::kStartFailed: return "Error starting tftp";
  }
  return "Fatal error.";
}

std::optional<MessageBox> ResultBox(UploadResult r, const std::string& system_text) {
  switch (r) {
    case UploadResult::kSuccess: return std::nullopt;
    case UploadResult::kTimedOut:
      return MessageBox{"Firmware upload timeout\nTry resetting the KX25\n\n"
                        "Note: This is normal behaviour on wireless KX25's",
                        "Upload error", BoxIcon::kStop};
    case UploadResult::kFatal:
      return MessageBox{"Fatal Error. Be sure TFTP.exe exists and try again", "Fatal Error",
                        BoxIcon::kExclamation};
    case UploadResult::kServerError:
      return MessageBox{"Error uploading firmware\nTry resetting the KX25\n\n"
                        "Note: This is normal behaviour on wireless KX25's",
                        "TFTP Error on Server", BoxIcon::kStop};
    case UploadResult::kStartFailed:
      return MessageBox{system_text, kStartFailedCaption, BoxIcon::kInformation};
  }
  return std::nullopt;
}

}  // namespace kt::firmware
