// The feedback form's rules without any I/O: its lists, the description label and type name by
// feedback type, the checks of a send in order with their texts, the file-size limit, the fields
// of the post in order, and the texts of its boxes. The window and `vexabsl feedback` share them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace net {

// The drop-down lists, in the order shown.
extern const char* const kFeedbackTypes[4];  // "General Feedback", ...
extern const char* const kRespondVia[5];     // "No response necessary", "Email", ...
constexpr int kRespondNone = 0;
constexpr int kRespondEmail = 1;

constexpr int kMaxDescriptionLength = 2048;
constexpr int64_t kMaxSendFileBytes = 8388608;  // 8 MiB, inclusive
constexpr int64_t kProgressBarAbove = 2097152;  // uploads above 2 MiB show the progress bar
constexpr uint32_t kErrorFileTail = 32768;      // what is kept of the error file before sending

// By the selected feedback type (another number is taken as general feedback).
std::string FeedbackTypeName(int type);
std::string DescriptionLabel(int type);
bool ErrorLogChecked(int type);

// What the user filled in.
struct FeedbackEntry {
  std::string name;
  std::string company;
  std::string email;
  std::string telephone;
  int type = 0;
  int respondVia = kRespondEmail;  // -1 when none is selected
  std::string description;
  std::string emailTo;  // the representative's address
};

// The control that gets the focus when a check refuses.
enum class FeedbackControl { kName, kTelephone, kEmailTo, kEmail };

struct FeedbackRefusal {
  std::string title;
  std::string text;
  FeedbackControl focus;
};

// The checks of Send, in order; nothing when the entry may be sent. Texts are tested for being
// empty, not trimmed: a name of blanks passes.
std::optional<FeedbackRefusal> CheckFeedback(const FeedbackEntry& entry);

// What the program tells of itself in the post.
struct FeedbackSender {
  std::string productName;  // the window's caption
  // The window's version label: the version text of the image the program carries
  // (ProductVersionText), or of the firmware file opened in its place.
  std::string productVersion;
  std::string registeredName;
  std::string registeredCompany;
  std::string defaultRecipient;  // the maker's support address
  std::string installationPath;  // the running program
  std::string computerInformation;
};

// The text fields of the post, in order; "Software Version" is product name + " version " +
// product version ("FieldPal Firmware Updater version QRN 2.00 C").
std::vector<std::pair<std::string, std::string>> FeedbackFields(const FeedbackEntry& entry,
                                                                const FeedbackSender& sender);

// "(Version " + major + "." + minor + " build " + rest + ")" after the system's name, from the
// os-release PRETTY_NAME and the kernel release ("6.1.0-18-amd64": version 6.1, build 0-18-amd64).
std::string ComputerInformation(const std::string& pretty_name, const std::string& kernel_release);

// "File Size Error": the file is over the limit; its size in MiB with one decimal.
std::string FileSizeErrorText(const std::string& name, int64_t size);

// "Error Reading File": why the user's file could not be attached.
enum class FileTrouble { kMissing, kInUse, kOther };
std::string ReadingFileErrorText(const std::string& name, FileTrouble trouble,
                                 const std::string& message);

// "Internet Access Error": the software host could not be reached when the form opened.
std::string InternetAccessErrorText(const std::string& host, const std::string& message);

// "Feedback Successfully Sent" and "Error Sending Feedback".
std::string ThankYouText(int type);
std::string SendErrorText(int type, const std::string& message);

}  // namespace net
