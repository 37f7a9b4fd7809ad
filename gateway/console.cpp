#include "console.h"

#include <iostream>
#include <mutex>

namespace qmr4100::gateway {

void console_line(const std::string& text) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  std::cout << text + '\n' << std::flush;
}

}  // namespace qmr4100::gateway
