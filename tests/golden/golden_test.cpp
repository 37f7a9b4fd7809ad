// The driver's output for fixed wire answers, byte for byte and point for
// point, against transcripts made once and reviewed by hand. Runs on every
// architecture the project is built for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "scenarios.h"
#include "transcript.h"

namespace golden {
// Test names and failures show the scenario by name.
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }
}  // namespace golden

namespace {

std::string golden_path(const std::string& name) { return GOLDEN_DIR "/" + name + ".txt"; }

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Names the first line that differs, with both versions of it.
testing::AssertionResult same_text(const std::string& want, const std::string& got) {
  if (want == got) return testing::AssertionSuccess();
  std::istringstream a(want), b(got);
  std::string line_a, line_b;
  for (int line = 1;; ++line) {
    const bool more_a = static_cast<bool>(std::getline(a, line_a));
    const bool more_b = static_cast<bool>(std::getline(b, line_b));
    if (!more_a || !more_b || line_a != line_b)
      return testing::AssertionFailure() << "first difference at line " << line << "\n  golden: "
                                         << (more_a ? line_a : "<end>")
                                         << "\n  now:    " << (more_b ? line_b : "<end>");
  }
}

class Golden : public testing::TestWithParam<golden::Scenario> {};

TEST_P(Golden, DriverOutputMatchesTheTranscript) {
  const std::string now = golden::transcript(GetParam());
  const std::string path = golden_path(GetParam().name);
  if (const char* update = std::getenv("QMR_GOLDEN_UPDATE"); update && *update == '1') {
    std::ofstream(path, std::ios::binary) << now;
    GTEST_SKIP() << "rewrote " << path;
  }
  const std::string golden = read_file(path);
  ASSERT_FALSE(golden.empty()) << path << " is missing; QMR_GOLDEN_UPDATE=1 writes it";
  EXPECT_TRUE(same_text(golden, now)) << path;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Golden, testing::ValuesIn(golden::scenarios()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
