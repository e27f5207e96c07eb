#include "tool/firmware/tftp_client.h"

#include "common/process/child_process.h"

namespace kt::firmware {

std::vector<std::string> TftpPutArguments(const TftpPut& put) {
  std::vector<std::string> args{put.client, "--put", "--local-file", put.file, "--remote-file", "/", put.host};
  if (put.port != 0) args.push_back(std::to_string(put.port));
  return args;
}

TftpOutcome RunTftpPut(const TftpPut& put, const std::function<void(std::string_view)>& on_output,
                       int cancel_fd) {
  TftpOutcome out;
  Result<proc::ChildProcess> child = proc::ChildProcess::Spawn(TftpPutArguments(put), {});
  if (!child.ok()) {
    out.result = UploadResult::kStartFailed;
    out.system_text = child.status().message();
    return out;
  }
  Result<proc::ExitInfo> ended = child->Wait(put.limit, on_output, cancel_fd);
  if (!ended.ok()) {
    child->Terminate();
    out.result = ended.status().IsUnavailable() ? UploadResult::kTimedOut : UploadResult::kFatal;
    return out;
  }
  if (!ended->exited) return out;  // killed by a signal: no exit status to read
  out.exit_code = ended->code;
  out.result = ended->code == 0 ? UploadResult::kSuccess : UploadResult::kServerError;
  return out;
}

}  // namespace kt::firmware
