// The error report appended to "ZKERROR.LOG": what one run-time error looked like.
//
// The report is built into a fixed buffer without touching the heap, so the same code serves the
// fatal-signal path (where malloc may be the thing that failed) and the uncaught-exception path.
// Layout, lines ended by CR LF:
//
//   ************************* ERROR *************************
//   <application name and build>
//   <notice line>
//   <operating-system version line>
//   <date> <hh:mm:ss>
//   (empty)
//   Error message:
//   --------------
//   <18 labelled fields, labels 19 characters wide, empty value when unknown>
//   Call Stack:
//      - <source file padded to kStackFileWidth>: <function> (Line: <n>)
//   Can Default      : Yes|No
//   Can Retry        : Yes|No
//   Tries            : <n>
//
// Thread safety: plain values; ReportBuffer is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kt::errlog {

inline constexpr std::string_view kLogFileName = "ZKERROR.LOG";
inline constexpr std::string_view kReportRule = "************************* ERROR *************************";
// Source file names in call stack lines are padded to this many characters.
inline constexpr std::size_t kStackFileWidth = 24;
inline constexpr std::size_t kMaxStackFrames = 64;

// One level of the failing thread's call stack. Strings are copied in, cut when too long.
struct StackFrame {
  char file[160] = {};      // source file name without folders; empty without debug info
  char function[256] = {};  // procedure name; empty when unknown
  int line = 0;             // 0 without debug info
};

struct CallStack {
  StackFrame frames[kMaxStackFrames];
  std::size_t size = 0;

  // Appends a frame; does nothing once full. `file` is cut to its last path component.
  void Add(const char* file, const char* function, int line);
};

// The error record's fields in report order. Views must stay valid while the report is built;
// an empty view is written as an empty value.
struct ErrorRecord {
  std::string_view argument;
  std::string_view argument_number;
  std::string_view argument_type;
  std::string_view arg_type_required;
  std::string_view call_func_sym;
  std::string_view description;
  std::string_view dos_error;
  std::string_view sub_code;
  std::string_view sub_code_text;
  std::string_view sub_system;
  std::string_view generated_code;
  std::string_view operation;
  std::string_view file_handle;
  std::string_view file_name;
  std::string_view func_ptr;
  std::string_view func_symbol;
  std::string_view maximum_size;
  std::string_view method_self;
  bool can_default = false;
  bool can_retry = false;
  int tries = 0;
  const CallStack* stack = nullptr;  // may be null: "Call Stack:" with no levels
};

// The lines above the error record.
struct ReportHeader {
  std::string_view application;  // "KT-Vistrand TCP Server, Build: 3"
  std::string_view notice;       // the maker's notice line
  std::string_view os_version;   // see OsVersionLine()
  std::string_view date_time;    // "dd/mm/yyyy hh:mm:ss", see FormatReportTime()
};

// Fixed-capacity text; appends past the end are cut (the report is still written, shortened).
class ReportBuffer {
 public:
  static constexpr std::size_t kCapacity = 64 * 1024;

  void Append(std::string_view text);
  void AppendPadded(std::string_view text, std::size_t width);
  void AppendDecimal(int64_t value);
  void AppendHex(uint64_t value);  // "0x" + lower-case digits
  void Clear() { size_ = 0; }

  std::string_view view() const { return {data_, size_}; }
  bool truncated() const { return truncated_; }

 private:
  char data_[kCapacity];
  std::size_t size_ = 0;
  bool truncated_ = false;
};

// Writes one whole report (from the rule line to "Tries") into `out`, replacing its content.
void FormatReport(const ReportHeader& header, const ErrorRecord& record, ReportBuffer& out);

// "dd/mm/yyyy hh:mm:ss" for a broken-down local time; async-signal-safe.
void FormatReportTime(int year, int month, int day, int hour, int minute, int second,
                      char (&out)[20]);

}  // namespace kt::errlog
