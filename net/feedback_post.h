// Sending the feedback: the connection test made when the form opens, the attachments and the
// multipart post to the maker's feedback script, whose reply must say "Script Completed".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "net/feedback_form.h"
#include "net/http_client.h"

namespace net {

inline constexpr const char* kFeedbackScript = "/php-bin/app_feedback.php";
inline constexpr const char* kScriptCompleted = "Script Completed";
// The feedback script's reply is a short page; a longer one is abandoned as a failed send.
inline constexpr int64_t kMaxFeedbackReplyBytes = 1048576;

// GET "/" on the software host; the reply says whether it could be reached (its body is dropped).
HttpReply TestConnection(HttpClient& client, const std::string& host);

// A file read into a file part: named by its file name, carrying its path as its file name, of
// the content type its extension gives. False, with why, when it cannot be read: only a regular
// file of at most 8 MiB is read (see ReadRegularFile).
bool LoadAttachment(const std::string& path, FormFile* file, FileTrouble* trouble,
                    std::string* message);

struct FeedbackPost {
  std::vector<std::pair<std::string, std::string>> fields;  // FeedbackFields
  std::vector<std::string> errorLogs;                       // each attached when it can be read
  std::string userFile;  // attached or the post is abandoned; may be empty
};

struct FeedbackPostResult {
  // 1 sent, 0 the user's file could not be attached, kErrFeedbackFailed not sent.
  int32_t result = 0;
  std::string message;    // the client's message for kErrFeedbackFailed
  std::string fileError;  // the "Error Reading File" text for 0
};

FeedbackPostResult PostFeedback(HttpClient& client, const std::string& host,
                                const FeedbackPost& post, const UploadObserver& observer = {});

// This computer for the post: the distribution's name and the kernel's version.
std::string LocalComputerInformation();

// The full path of the running program.
std::string RunningProgramPath();

}  // namespace net
