// The commands' two-answer questions (OK/Cancel, Yes/No) on a terminal: answered by --yes or --no,
// the second answer without a terminal to ask, or else asked until one of the two is typed.
#pragma once

#include <cstdio>
#include <string>

enum class Answering { kAsk, kAllOk, kAllCancel };

// The two answers as shown: {"OK", "Cancel"}, {"Yes", "No"}. Each is typed as its word (as shown
// or in lower case) or its first letter (in either case).
struct AnswerWords {
  const char* first;
  const char* second;
};

// Prints `title` and `text` to `out` and gets the answer: true for the first. What --yes or --no
// answered, or that there was no terminal to ask, is told on `out`; the prompt goes to stderr.
bool AskQuestion(Answering answering, FILE* out, const std::string& title, const std::string& text,
                 const AnswerWords& words);
