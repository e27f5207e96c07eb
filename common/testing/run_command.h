// Test support: runs a program through the system's shell and collects what it wrote and how it
// ended. Arguments are written as for a POSIX shell (words, 'quoted words', 2>file); on Windows
// the single quotes become double quotes for cmd.exe and the program's path is made absolute
// (under Wine a Linux path then names drive Z:).
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include "common/testing/os.h"

namespace kt::test_support {

struct CommandRun {
  int exit_code = -1;  // -1: did not start or did not end normally
  std::string out;
  std::string err;
};

inline CommandRun RunCommand(const std::string& program, const std::string& args) {
  CommandRun run;
  static int serial = 0;
  const std::filesystem::path err_file = std::filesystem::path(::testing::TempDir()) /
                                         ("command_err_" + std::to_string(ProcessId()) + "_" + std::to_string(++serial));
#ifdef _WIN32
  std::string words = args;
  for (char& c : words)
    if (c == '\'') c = '"';
  // cmd.exe /c strips the outer quotes of the whole line when it starts with one: add a pair.
  const std::string command = "\"\"" + std::filesystem::absolute(program).make_preferred().string() + "\" " + words +
                              " 2>\"" + std::filesystem::absolute(err_file).make_preferred().string() + "\"\"";
  FILE* pipe = ::_popen(command.c_str(), "rb");
#else
  const std::string command = program + " " + args + " 2>" + err_file.string();
  FILE* pipe = ::popen(command.c_str(), "r");
#endif
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
#ifdef _WIN32
  run.exit_code = ::_pclose(pipe);
#else
  const int status = ::pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  std::ifstream err(err_file, std::ios::binary);
  run.err.assign(std::istreambuf_iterator<char>(err), {});
  err.close();
  std::error_code ignored;
  std::filesystem::remove(err_file, ignored);
#ifdef _WIN32
  // Windows programs end their text lines with CR LF; the tests compare lines.
  for (std::string* text : {&run.out, &run.err}) {
    std::string lf;
    for (std::size_t i = 0; i < text->size(); ++i)
      if (!((*text)[i] == '\r' && i + 1 < text->size() && (*text)[i + 1] == '\n')) lf += (*text)[i];
    *text = lf;
  }
#endif
  return run;
}

}  // namespace kt::test_support
