// What the updater hands to a feedback report, the window's form or "vexabsl feedback": the
// program it names, the version it carries, and its error file, made ready to go with the report.
#pragma once

#include <cstdint>
#include <string>

#include "link/log.h"

struct FeedbackHandOverValues {
  std::string productName;     // the updater's caption
  std::string productVersion;  // the version text of the image it would write
  std::string errorFile;       // the error file to attach
};

// Readies `log`'s file for a report from the updater `caption` that carries the image
// `imageVersionText`: a file with something in it is cut to its last `tailBytes` (the latest
// runs, which is all the maker reads), an empty one gets a line saying the report was launched
// with it empty, so that the maker can tell an empty file from a lost one. Returns the values the
// report takes.
FeedbackHandOverValues HandOverForFeedback(const VexaLog& log, const std::string& caption,
                                           const std::string& imageVersionText, uint32_t tailBytes);
