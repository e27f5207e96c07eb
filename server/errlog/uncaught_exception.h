// The error record of an uncaught C++ exception, shared by the Linux and the Windows crash handler.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>

#include "server/errlog/report.h"

namespace kt::errlog {

// The readable name of a thrown type ("" for none).
std::string DemangledTypeName(const std::type_info* type);

// The record for `error` (the exception being handled; null for a bare std::terminate), naming
// `failed_object`. Must run inside the handler, while the exception is current. Its texts live in
// static storage, valid until the next call: a process reports one fatal error.
ErrorRecord UncaughtExceptionRecord(std::exception_ptr error, std::string_view failed_object);

}  // namespace kt::errlog
