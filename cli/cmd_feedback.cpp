// vexabsl feedback: sends feedback to the maker as the window's feedback form does, with the
// updater's error file attached, for service machines without a desktop. The form's checks come
// first; nothing is sent, not even the connection test, when one of them refuses.
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "app/feedback_hand_over.h"
#include "app/product.h"
#include "cli/commands.h"
#include "link/log.h"
#include "link/result.h"
#include "net/feedback_form.h"
#include "net/feedback_post.h"
#include "net/regular_file.h"
#include "net/runtime.h"
#include "net/service_config.h"

namespace {

struct FeedbackOptions {
  net::FeedbackEntry entry;
  std::string type = "general";
  std::string respondVia = "email";
  std::string file;
  std::string text;
  std::string textFile;
  std::string server;
  std::string dataDir;
};

const std::map<std::string, int> kTypeNames = {
    {"general", 0}, {"feature", 1}, {"bug", 2}, {"other", 3}};
const std::map<std::string, int> kRespondNames = {
    {"none", 0}, {"email", 1}, {"morning", 2}, {"midday", 3}, {"afternoon", 4}};

int Refuse(const std::string& title, const std::string& text) {
  std::fprintf(stderr, "%s\n%s\n", title.c_str(), text.c_str());
  return kExitFailed;
}

int RunFeedback(FeedbackOptions options) {
  net::NetRuntime qt;

  net::FeedbackEntry& entry = options.entry;
  entry.type = kTypeNames.at(options.type);
  entry.respondVia = kRespondNames.at(options.respondVia);
  if (!options.textFile.empty()) {
    // UTF-8 takes at most 4 bytes a character: a longer file holds more than the form takes.
    const net::FileContent text =
        net::ReadRegularFile(options.textFile, 4 * int64_t{net::kMaxDescriptionLength});
    if (text.result == net::FileReading::kTooLarge) {
      std::fprintf(stderr, "vexabsl: %s holds more than %d characters; at most %d are sent\n",
                   options.textFile.c_str(), net::kMaxDescriptionLength,
                   net::kMaxDescriptionLength);
      return kExitUsage;
    }
    if (text.result != net::FileReading::kOk) {
      std::fprintf(stderr, "vexabsl: cannot read the description: %s\n", text.message.c_str());
      return kExitUsage;
    }
    entry.description = text.content;
  } else {
    entry.description = options.text;
  }
  // Counted as the window's description field counts them.
  const qsizetype length = QString::fromStdString(entry.description).size();
  if (length > net::kMaxDescriptionLength) {
    std::fprintf(stderr, "vexabsl: the description has %lld characters; at most %d are sent\n",
                 static_cast<long long>(length), net::kMaxDescriptionLength);
    return kExitUsage;
  }

  if (const auto refusal = net::CheckFeedback(entry)) return Refuse(refusal->title, refusal->text);
  if (!options.file.empty()) {
    const QFileInfo info(QString::fromStdString(options.file));
    if (info.isFile() && info.size() > net::kMaxSendFileBytes) {
      return Refuse("File Size Error",
                    net::FileSizeErrorText(info.fileName().toStdString(), info.size()));
    }
  }

  const std::string dataFolder = options.dataDir.empty() ? DataFolder() : options.dataDir;
  const VexaLog log(ErrorFilePath(dataFolder, kFieldPalProduct).c_str(),
                    vexa_log_level::kMilestone);
  // The version the window's version label shows.
  const FeedbackHandOverValues handOver =
      HandOverForFeedback(log, ProductCaption(kFieldPalProduct),
                          ProductVersionText(kFieldPalProduct), net::kErrorFileTail);

  const std::string host = options.server.empty() ? net::SoftwareHostUrl() : options.server;
  net::HttpClient client;
  const net::HttpReply reachable = net::TestConnection(client, host);
  if (!reachable.ok) {
    Refuse("Internet Access Error",
           net::InternetAccessErrorText(net::HostName(host), reachable.error));
    std::printf("result: %d\n", kErrFeedbackFailed);
    return kExitFailed;
  }

  net::FeedbackSender sender;
  sender.productName = handOver.productName;
  sender.productVersion = handOver.productVersion;
  sender.defaultRecipient = net::SupportEmail();
  sender.installationPath = net::RunningProgramPath();
  sender.computerInformation = net::LocalComputerInformation();
  net::FeedbackPost post;
  post.fields = net::FeedbackFields(entry, sender);
  post.errorLogs = {handOver.errorFile};
  post.userFile = options.file;

  const net::FeedbackPostResult sent = net::PostFeedback(client, host, post);
  if (sent.result == kResultOk) {
    std::printf("Feedback Successfully Sent\n%s\n", net::ThankYouText(entry.type).c_str());
    return kExitOk;
  }
  if (sent.result == kResultNothingDone) {
    Refuse("Error Reading File", sent.fileError);
  } else {
    Refuse("Error Sending Feedback", net::SendErrorText(entry.type, sent.message));
  }
  std::printf("result: %d\n", sent.result == kResultNothingDone ? 0 : sent.result);
  return kExitFailed;
}

}  // namespace

void SetupFeedbackCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<FeedbackOptions>();
  CLI::App* feedback = app.add_subcommand(
      "feedback", "Send feedback to the maker, with the updater's error file attached");
  feedback->add_option("--name", options->entry.name, "Your name (required by the form)");
  feedback->add_option("--company", options->entry.company, "Company name");
  feedback->add_option("--email", options->entry.email, "Your e-mail address");
  feedback->add_option("--phone", options->entry.telephone, "Telephone (include area code)");
  feedback->add_option("--type", options->type, "Type of feedback")
      ->check(CLI::IsMember({"general", "feature", "bug", "other"}))
      ->capture_default_str();
  feedback->add_option("--respond-via", options->respondVia, "How to respond")
      ->check(CLI::IsMember({"none", "email", "morning", "midday", "afternoon"}))
      ->capture_default_str();
  feedback->add_option("--email-to", options->entry.emailTo,
                       "Your KALTO Group representative's e-mail address (default: the maker's "
                       "support address)");
  feedback->add_option("--file", options->file, "A file to send with the feedback (up to 8 MiB)");
  CLI::Option* text =
      feedback->add_option("--text", options->text, "The description (up to 2048 characters)");
  feedback->add_option("--text-file", options->textFile, "Read the description from this file")
      ->excludes(text);
  feedback->add_option("--server", options->server,
                       "The software host, http:// or https:// (default: the options store's "
                       "SoftwareServer, else the built-in one)");
  feedback->add_option("--data-dir", options->dataDir,
                       "Folder of the error file (default: the data folder)");
  feedback->callback([options, &run] {
    if (!options->server.empty() && !net::IsServiceAddress(options->server)) {
      throw CLI::ValidationError("--server", "needs an http:// or https:// address");
    }
    run = [options] { return RunFeedback(*options); };
  });
}
