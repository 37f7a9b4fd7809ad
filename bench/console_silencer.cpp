#include "console_silencer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <system_error>

namespace bench {

namespace {

int checked(int result, const char* what) {
  if (result < 0) throw std::system_error(errno, std::generic_category(), what);
  return result;
}

}  // namespace

ConsoleSilencer::ConsoleSilencer()
    : m_saved(checked(dup(STDOUT_FILENO), "dup standard output")),
      m_buffer(std::make_unique<__gnu_cxx::stdio_filebuf<char>>(m_saved, std::ios::out)),
      m_report(m_buffer.get()) {
  m_report << std::unitbuf;  // keeps report lines in order with the context on standard error
  std::cout.flush();
  std::fflush(stdout);
  const int null = checked(open("/dev/null", O_WRONLY), "open /dev/null");
  checked(dup2(null, STDOUT_FILENO), "redirect standard output");
  close(null);
}

ConsoleSilencer::~ConsoleSilencer() {
  std::cout.flush();
  std::fflush(stdout);
  m_report.flush();
  dup2(m_saved, STDOUT_FILENO);
}

}  // namespace bench
