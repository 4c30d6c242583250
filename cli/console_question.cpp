#include "cli/console_question.h"

#include <unistd.h>

#include <cctype>
#include <iostream>

namespace {

std::string Lower(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word;
}

bool Means(const std::string& typed, const char* word) {
  const std::string key(1, static_cast<char>(std::tolower(static_cast<unsigned char>(word[0]))));
  const std::string upperKey(1,
                             static_cast<char>(std::toupper(static_cast<unsigned char>(word[0]))));
  return typed == key || typed == upperKey || typed == Lower(word) || typed == word;
}

}  // namespace

bool AskQuestion(Answering answering, FILE* out, const std::string& title, const std::string& text,
                 const AnswerWords& words) {
  std::fprintf(out, "%s\n%s\n", title.c_str(), text.c_str());
  if (answering != Answering::kAsk) {
    const bool first = answering == Answering::kAllOk;
    std::fprintf(out, "-> %s\n", first ? words.first : words.second);
    return first;
  }
  if (!isatty(STDIN_FILENO)) {
    std::fprintf(out, "-> %s (no terminal to ask; --yes answers %s)\n", words.second, words.first);
    return false;
  }
  for (;;) {
    std::fprintf(stderr, "%s or %s? [%c/%c] ", words.first, words.second,
                 std::tolower(static_cast<unsigned char>(words.first[0])),
                 std::tolower(static_cast<unsigned char>(words.second[0])));
    std::string line;
    if (!std::getline(std::cin, line)) return false;
    if (Means(line, words.first)) return true;
    if (Means(line, words.second)) return false;
  }
}
