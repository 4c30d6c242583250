#include "app/feedback_hand_over.h"

FeedbackHandOverValues HandOverForFeedback(const VexaLog& log, const std::string& caption,
                                           const std::string& imageVersionText,
                                           uint32_t tailBytes) {
  if (log.FileSize() > 0) {
    log.KeepTail(tailBytes);
  } else {
    LogMessage(&log, vexa_log_level::kMilestone, caption.c_str(),
               "Launching web feedback with an empty error file.");
  }
  return {caption, imageVersionText, log.Path()};
}
