#include "server/errlog/uncaught_exception.h"

#include <cxxabi.h>

#include <cstdlib>

namespace kt::errlog {

std::string DemangledTypeName(const std::type_info* type) {
  if (type == nullptr) return "";
  int status = 0;
  char* d = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
  std::string name = (status == 0 && d != nullptr) ? d : type->name();
  std::free(d);
  return name;
}

ErrorRecord UncaughtExceptionRecord(std::exception_ptr error, std::string_view failed_object) {
  static std::string description;
  static std::string type;
  static std::string object;
  object = failed_object;
  description = "std::terminate called without an active exception";
  type.clear();
  if (error) {
    type = DemangledTypeName(abi::__cxa_current_exception_type());
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      description = e.what();
    } catch (...) {
      description = "exception of a type not derived from std::exception";
    }
  }
  ErrorRecord r;
  r.description = description;
  r.sub_system = "C++";
  r.sub_code_text = type;
  r.generated_code = "Run-time error: uncaught exception";
  r.method_self = object;
  return r;
}

}  // namespace kt::errlog
