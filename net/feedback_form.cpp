#include "net/feedback_form.h"

#include <cstdio>

namespace net {

const char* const kFeedbackTypes[4] = {"General Feedback", "Feature Suggestion", "Bug Report",
                                       "Other"};
const char* const kRespondVia[5] = {"No response necessary", "Email", "Telephone (morning is best)",
                                    "Telephone (mid day is best)", "Telephone (afternoon is best)"};

namespace {

struct TypeRow {
  const char* name;
  const char* label;
  bool errorLog;
};

const TypeRow kTypeRows[] = {
    {"General Feedback", "Please describe the feedback below", false},
    {"Feature Suggestion", "Please describe the feature suggestion below", false},
    {"Bug Report", "Please describe the bug or issue below", true},
    {"Other Feedback", "Please describe the other feedback below", false},
};
const TypeRow kOtherType = {"General Feedback", "Please describe the feedback below", true};

const TypeRow& Row(int type) {
  return type >= 0 && type < 4 ? kTypeRows[type] : kOtherType;
}

}  // namespace

std::string FeedbackTypeName(int type) {
  return Row(type).name;
}
std::string DescriptionLabel(int type) {
  return Row(type).label;
}
bool ErrorLogChecked(int type) {
  return Row(type).errorLog;
}

std::optional<FeedbackRefusal> CheckFeedback(const FeedbackEntry& entry) {
  if (entry.name.empty()) {
    return FeedbackRefusal{"Missing Information", "Please enter your name in the name field",
                           FeedbackControl::kName};
  }
  if (entry.email.empty() && entry.telephone.empty() && entry.respondVia != kRespondNone) {
    return FeedbackRefusal{"Missing Information",
                           "Please enter your phone number or email address so Norvane "
                           "can respond to your feedback.",
                           FeedbackControl::kTelephone};
  }
  if (!entry.emailTo.empty() && entry.emailTo.find('@') == std::string::npos) {
    return FeedbackRefusal{"Bad Email Address",
                           "The email address you entered for your Norvane\n"
                           "Representative isn't complete.\n\n"
                           "Please enter a complete email address including\n"
                           "the '@' symbol and domain name.",
                           FeedbackControl::kEmailTo};
  }
  if (!entry.email.empty()) {
    const bool blank = entry.email.find(' ') != std::string::npos;
    if (blank || entry.email.find('@') == std::string::npos) {
      std::string text =
          "The email address you entered doesn't seem to be correct.\n\n"
          "Please enter a complete email address including\n"
          "the '@' symbol and domain name.";
      if (blank) text += "\n\nPlease remove any space characters in the email address.";
      return FeedbackRefusal{"Bad Email Address", text, FeedbackControl::kEmail};
    }
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> FeedbackFields(const FeedbackEntry& entry,
                                                                const FeedbackSender& sender) {
  const bool known = entry.respondVia >= 0 && entry.respondVia < 5;
  return {
      {"EmailTo", entry.emailTo.empty() ? sender.defaultRecipient : entry.emailTo},
      {"EmailSubject", sender.productName + " " + FeedbackTypeName(entry.type)},
      {"Name", entry.name},
      {"Company Name", entry.company},
      {"Email", entry.email},
      {"Telephone", entry.telephone},
      {"Respond Via", known ? kRespondVia[entry.respondVia] : "Unknown RespondVia"},
      {"Registered Name", sender.registeredName},
      {"Registered Company", sender.registeredCompany},
      {"Software Version", sender.productName + " version " + sender.productVersion},
      {"Installation Path", sender.installationPath},
      {"Computer Information", sender.computerInformation},
      {"Feedback", entry.description},
  };
}

std::string ComputerInformation(const std::string& pretty_name, const std::string& kernel_release) {
  // "6.1.0-18-amd64": the major and minor numbers, then everything after them.
  std::string major, minor, rest = kernel_release;
  const size_t first = kernel_release.find('.');
  if (first != std::string::npos) {
    major = kernel_release.substr(0, first);
    const size_t second = kernel_release.find_first_of(".-", first + 1);
    minor = kernel_release.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    rest = second == std::string::npos ? std::string() : kernel_release.substr(second + 1);
  }
  const std::string name = pretty_name.empty() ? "Linux" : pretty_name;
  return name + " (Version " + major + "." + minor + " build " + rest + ")";
}

std::string FileSizeErrorText(const std::string& name, int64_t size) {
  char megabytes[32];
  std::snprintf(megabytes, sizeof megabytes, "%.1f", static_cast<double>(size) / 1048576.0);
  return "The file \"" + name + "\" is too big.\n\n" +
         "The maximun file size you can send with your feedback\n" +
         "is 8 megabytes (this file is " + megabytes + " MB)." +
         "\n\nPlease choose a different file to send.";
}

std::string ReadingFileErrorText(const std::string& name, FileTrouble trouble,
                                 const std::string& message) {
  std::string text = "Error sending the file \"" + name + "\". ";
  switch (trouble) {
    case FileTrouble::kMissing:
      return text + "\nThe file is empty or can't be found on the system." +
             "\n\nPlease check your file name and try again.";
    case FileTrouble::kInUse:
      return text + "\nThe file is open and in use with another application." +
             "\n\nPlease close the file and try again.";
    case FileTrouble::kOther:
      break;
  }
  text += "\n\nPlease try again.";
  if (!message.empty()) text += "\n\nError: " + message;
  return text;
}

std::string InternetAccessErrorText(const std::string& host, const std::string& message) {
  std::string text =
      "Error connecting to Norvane's customer feedback internet service.\n\n"
      "This feature requires your computer to be connected to the internet\n"
      "and able to reach Norvane's web site at " +
      host + "." + "\n\nPlease make a connection to the internet and try again.";
  if (!message.empty()) text += "\n\nError: " + message;
  return text;
}

std::string ThankYouText(int type) {
  return "Thank you for submitting your " + FeedbackTypeName(type) + ".";
}

std::string SendErrorText(int type, const std::string& message) {
  std::string text = "There was an error trying to send your " + FeedbackTypeName(type) +
                     " to Norvane.\n\nPlease try again.";
  if (!message.empty()) text += "\n\nError: " + message;
  return text;
}

}  // namespace net
