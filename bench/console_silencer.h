// The driver writes a console line for every answer and round. While the
// benchmarks run, standard output goes to /dev/null (the driver still pays
// for each write) and the report goes to the original standard output.
#pragma once

#include <ext/stdio_filebuf.h>

#include <memory>
#include <ostream>

namespace bench {

class ConsoleSilencer {
 public:
  ConsoleSilencer();
  ~ConsoleSilencer();
  ConsoleSilencer(const ConsoleSilencer&) = delete;
  ConsoleSilencer& operator=(const ConsoleSilencer&) = delete;

  // Writes to the standard output the process had before.
  std::ostream& report() { return m_report; }

 private:
  int m_saved;
  std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> m_buffer;
  std::ostream m_report;
};

}  // namespace bench
