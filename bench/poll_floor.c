/* The floor of a polling cycle: what any gateway must spend at least to poll
 * one power system. It opens the line, writes the eight commands of one
 * cycle (CID1 0x41: 0x42 0x43 0x44 0x91 0x95 0x9C 0x86 0xA2) and reads each
 * answer up to its carriage return, decoding nothing. Run against the same
 * simulator as the gateway, its CPU time per cycle is the denominator of the
 * gateway's cost ratio (scripts/perf/poll-ratio.sh).
 *
 *   usage: qmr4100-poll-floor PORT CYCLES [ADDRESS]
 * Prints "floor: N cycles, U us user + S us system per cycle". */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

static const unsigned char kCommands[] = {0x42, 0x43, 0x44, 0x91, 0x95, 0x9C, 0x86, 0xA2};
enum { kCommandCount = sizeof kCommands, kFrameChars = 18, kAnswerMax = 8192 };

/* "~" VER ADR CID1 CID2 LENGTH(0000) CHKSUM CR, every field upper-case hex. */
static void encode_command(unsigned address, unsigned code, char frame[kFrameChars + 1]) {
  char body[13];
  unsigned sum = 0;
  snprintf(body, sizeof body, "21%02X41%02X0000", address & 0xFFu, code);
  for (const char* c = body; *c; ++c) sum += (unsigned char)*c;
  snprintf(frame, kFrameChars + 1, "~%s%04X\r", body, (~sum + 1) & 0xFFFFu);
}

static int open_line(const char* path) {
  struct termios raw;
  int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (tcgetattr(fd, &raw) == 0) {
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &raw);
  }
  return fd;
}

static int write_all(int fd, const char* data, size_t length) {
  while (length > 0) {
    ssize_t done = write(fd, data, length);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return -1;
    data += done;
    length -= (size_t)done;
  }
  return 0;
}

/* Reads what the line holds until a carriage return arrived; bytes after it
 * (none, as the simulator answers one command at a time) would be dropped. */
static int read_answer(int fd) {
  char buffer[kAnswerMax];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return -1;
    if (memchr(buffer, '\r', (size_t)got)) return 0;
  }
}

static long micros(struct timeval t) { return t.tv_sec * 1000000L + t.tv_usec; }

int main(int argc, char** argv) {
  char frames[kCommandCount][kFrameChars + 1];
  struct rusage usage;
  long cycles;
  unsigned address;
  int fd;
  if (argc < 3 || argc > 4 || (cycles = strtol(argv[2], NULL, 10)) <= 0) {
    fprintf(stderr, "usage: qmr4100-poll-floor PORT CYCLES [ADDRESS]\n");
    return 2;
  }
  address = argc == 4 ? (unsigned)strtoul(argv[3], NULL, 10) : 1u;
  for (int k = 0; k < kCommandCount; ++k) encode_command(address, kCommands[k], frames[k]);
  if ((fd = open_line(argv[1])) < 0) {
    fprintf(stderr, "qmr4100-poll-floor: %s: %s\n", argv[1], strerror(errno));
    return 2;
  }
  for (long cycle = 0; cycle < cycles; ++cycle) {
    for (int k = 0; k < kCommandCount; ++k) {
      if (write_all(fd, frames[k], kFrameChars) != 0 || read_answer(fd) != 0) {
        fprintf(stderr, "qmr4100-poll-floor: %s: line failed in cycle %ld\n", argv[1], cycle + 1);
        return 1;
      }
    }
  }
  getrusage(RUSAGE_SELF, &usage);
  printf("floor: %ld cycles, %.1f us user + %.1f us system per cycle\n", cycles,
         (double)micros(usage.ru_utime) / (double)cycles,
         (double)micros(usage.ru_stime) / (double)cycles);
  return 0;
}
