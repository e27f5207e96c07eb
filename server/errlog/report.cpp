#include "server/errlog/report.h"

#include <algorithm>
#include <cstring>

namespace kt::errlog {
namespace {

constexpr std::string_view kCrLf = "\r\n";

void CopyCut(char* dst, std::size_t capacity, std::string_view src) {
  const std::size_t n = std::min(src.size(), capacity - 1);
  if (n > 0) std::memcpy(dst, src.data(), n);  // an empty view may have no data at all
  dst[n] = '\0';
}

void Line(ReportBuffer& out, std::string_view text) {
  out.Append(text);
  out.Append(kCrLf);
}

void Field(ReportBuffer& out, std::string_view label, std::string_view value) {
  out.Append(label);
  Line(out, value);
}

}  // namespace

void CallStack::Add(const char* file, const char* function, int line) {
  if (size >= kMaxStackFrames) return;
  StackFrame& f = frames[size++];
  std::string_view path = file ? file : "";
  if (auto slash = path.find_last_of("/\\"); slash != std::string_view::npos) path.remove_prefix(slash + 1);
  CopyCut(f.file, sizeof f.file, path);
  CopyCut(f.function, sizeof f.function, function ? function : "");
  f.line = line;
}

void ReportBuffer::Append(std::string_view text) {
  if (text.empty()) return;  // an empty view may have no data at all
  const std::size_t room = kCapacity - size_;
  const std::size_t n = std::min(room, text.size());
  if (n < text.size()) truncated_ = true;
  std::memcpy(data_ + size_, text.data(), n);
  size_ += n;
}

void ReportBuffer::AppendPadded(std::string_view text, std::size_t width) {
  Append(text);
  for (std::size_t i = text.size(); i < width; ++i) Append(" ");
}

void ReportBuffer::AppendDecimal(int64_t value) {
  char digits[24];
  std::size_t n = 0;
  // Work on the magnitude as unsigned so the most negative value does not overflow.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[n++] = '-';
  std::reverse(digits, digits + n);
  Append({digits, n});
}

void ReportBuffer::AppendHex(uint64_t value) {
  char digits[20];
  std::size_t n = 0;
  do {
    digits[n++] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  std::reverse(digits, digits + n);
  Append("0x");
  Append({digits, n});
}

void FormatReport(const ReportHeader& header, const ErrorRecord& r, ReportBuffer& out) {
  out.Clear();
  Line(out, kReportRule);
  Line(out, header.application);
  Line(out, header.notice);
  Line(out, header.os_version);
  Line(out, header.date_time);
  Line(out, "");
  Line(out, "Error message:");
  Line(out, "--------------");
  Field(out, "Argument         : ", r.argument);
  Field(out, "Argument Number  : ", r.argument_number);
  Field(out, "Argument Type    : ", r.argument_type);
  Field(out, "Arg Type Required: ", r.arg_type_required);
  Field(out, "Call Func Sym    : ", r.call_func_sym);
  Field(out, "Description      : ", r.description);
  Field(out, "DOS Error        : ", r.dos_error);
  Field(out, "Sub Code         : ", r.sub_code);
  Field(out, "Sub Code Text    : ", r.sub_code_text);
  Field(out, "Sub System       : ", r.sub_system);
  Field(out, "Generated Code   : ", r.generated_code);
  Field(out, "Operation        : ", r.operation);
  Field(out, "File Handle      : ", r.file_handle);
  Field(out, "File Name        : ", r.file_name);
  Field(out, "Func PTR         : ", r.func_ptr);
  Field(out, "Func Symbol      : ", r.func_symbol);
  Field(out, "Maximum Size     : ", r.maximum_size);
  Field(out, "Method Self      : ", r.method_self);
  Line(out, "Call Stack:");
  if (r.stack != nullptr) {
    for (std::size_t i = 0; i < r.stack->size; ++i) {
      const StackFrame& f = r.stack->frames[i];
      out.Append("   - ");
      out.AppendPadded(f.file, kStackFileWidth);
      out.Append(": ");
      out.Append(f.function[0] != '\0' ? std::string_view(f.function) : std::string_view("??"));
      out.Append(" (Line: ");
      out.AppendDecimal(f.line);
      Line(out, ")");
    }
  }
  Field(out, "Can Default      : ", r.can_default ? "Yes" : "No");
  Field(out, "Can Retry        : ", r.can_retry ? "Yes" : "No");
  out.Append("Tries            : ");
  out.AppendDecimal(r.tries);
  out.Append(kCrLf);
}

void FormatReportTime(int year, int month, int day, int hour, int minute, int second,
                      char (&out)[20]) {
  auto two = [](char* p, int v) {
    v = std::clamp(v, 0, 99);
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
  };
  two(out, day);
  out[2] = '/';
  two(out + 3, month);
  out[5] = '/';
  year = std::clamp(year, 0, 9999);
  two(out + 6, year / 100);
  two(out + 8, year % 100);
  out[10] = ' ';
  two(out + 11, hour);
  out[13] = ':';
  two(out + 14, minute);
  out[16] = ':';
  two(out + 17, second);
  out[19] = '\0';
}

}  // namespace kt::errlog
