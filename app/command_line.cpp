#include "app/command_line.h"

#include <cstdio>

int answer_command_line(const CommandLine& line) {
  const CommandLineAnswer answer = command_line_answer(line);
  std::fputs(answer.text.c_str(), answer.is_error ? stderr : stdout);
  if (answer.is_error) return answer.status;
  // A closed or full stdout is an error, as GNU programs report it.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("orvandelcaster: write error\n", stderr);
    return 1;
  }
  return answer.status;
}
