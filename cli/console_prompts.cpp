#include "cli/console_prompts.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

extern char** environ;

ConsolePrompts::ConsolePrompts(Answering answering, bool quiet_json)
    : answering_(answering), informationOut_(quiet_json ? stderr : stdout) {}

void ConsolePrompts::Show(Kind kind, const std::string& title, const std::string& text) {
  FILE* out = kind == Kind::kInformation ? informationOut_ : stderr;
  std::fprintf(out, "%s\n%s\n", title.c_str(), text.c_str());
}

bool ConsolePrompts::AskYesNo(const std::string& title, const std::string& text) {
  return AskQuestion(answering_, informationOut_, title, text, {"Yes", "No"});
}

bool ConsolePrompts::OpenLink(const std::string& link) {
  std::fflush(nullptr);
  return RunHandler("xdg-open", link);
}

bool RunHandler(const char* program, const std::string& argument) {
  std::string arg = argument;
  char* argv[] = {const_cast<char*>(program), arg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
