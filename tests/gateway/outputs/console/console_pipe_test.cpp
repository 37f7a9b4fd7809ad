// The console on a pipe that is not read, or whose reader is gone: polling
// never waits on it, and the operator is told what was lost.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "outputs/console/console.h"

namespace gw = qmr4100::gateway;

namespace {

struct Pipe {
  Pipe() {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    reader = ends[0];
    writer = ends[1];
    ::fcntl(reader, F_SETFL, O_NONBLOCK);  // the test's own end only
    ::fcntl(writer, F_SETPIPE_SZ, 4096);   // holds less than the lines written
  }
  ~Pipe() {
    if (reader >= 0) ::close(reader);
    ::close(writer);
  }
  std::string Available() const {
    std::string text;
    char buffer[4096];
    for (ssize_t count; (count = ::read(reader, buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<std::size_t>(count));
    return text;
  }
  int reader;
  int writer;
};

// Standard error, kept while it lives.
class StderrCapture {
 public:
  StderrCapture() : m_saved(::dup(STDERR_FILENO)) { ::dup2(m_pipe.writer, STDERR_FILENO); }
  ~StderrCapture() { Restore(); }
  std::string Text() {
    Restore();
    return m_pipe.Available();
  }

 private:
  void Restore() {
    if (m_saved < 0) return;
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    m_saved = -1;
  }
  Pipe m_pipe;
  int m_saved;
};

TEST(ConsolePipe, UnreadKeepsItsBytesInOrderAndCountsTheLinesItDropped) {
  Pipe pipe;
  const std::string big(100000, 'b');  // many times what the pipe holds: written in parts
  std::string shown;
  {
    gw::Console console(pipe.writer, 120000);
    console.Line(big);
    console.Line("kept");
    console.Line(std::string(130000, 'c'));  // beyond the bound
    console.Line("dropped too");             // the console has not taken what it holds
    const std::string notice = "console: 2 lines dropped while the console was not read\n";
    for (int turn = 0; turn < 10000 && shown.find(notice) == std::string::npos; ++turn) {
      shown += pipe.Available();
      console.Flush();
    }
    console.Line("after");
    shown += pipe.Available();
    EXPECT_EQ(shown, big + "\nkept\n" + notice + "after\n");
  }
  EXPECT_EQ(pipe.Available(), "");
}

TEST(ConsolePipe, GoneReaderIsSaidOnceAndLaterLinesAreDropped) {
  std::signal(SIGPIPE, SIG_IGN);  // as the program does
  Pipe pipe;
  ::close(pipe.reader);
  pipe.reader = -1;
  StderrCapture errors;
  {
    gw::Console console(pipe.writer);
    console.Line("one");
    console.Line("two");
    console.TimedLine("three");
  }
  EXPECT_EQ(errors.Text(),
            "console: cannot write to standard output (Broken pipe); the record and the outputs "
            "go on\n");
}

}  // namespace
