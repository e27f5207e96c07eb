// The five results of a firmware upload and what the tool shows for each.
#pragma once

#include <optional>
#include <string>

#include "tool/firmware/firmware_messages.h"

namespace kt::firmware {

enum class UploadResult {
  kSuccess,      // the TFTP client ended with exit status 0
  kTimedOut,     // it had not ended at the limit (60 s); the client was ended
  kServerError,  // it ended with a non-zero exit status
  kFatal,        // the wait failed, or the client was killed by a signal
  kStartFailed,  // the client program could not be started
};

// "success", "timed out", "server error", "fatal", "start failed".
const char* ResultName(UploadResult r);

// The status line shown for the result ("Status: Firmware upload timed out", ...).
const char* ResultStatusLine(UploadResult r);

// The message box shown for the result; none for success. For kStartFailed the box carries
// `system_text` (the system's text for the failure) captioned "An error has occurred...".
std::optional<MessageBox> ResultBox(UploadResult r, const std::string& system_text = {});

// After a successful upload the terminal programs its flash and restarts; the tool waits this
// long before it scans again.
inline constexpr int kRescanPauseMs = 2500;

}  // namespace kt::firmware
