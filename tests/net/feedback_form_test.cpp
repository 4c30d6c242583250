// The feedback form's rules: its checks in order, the fields of the post, the size limit's text and
// the computer's description.
#include "net/feedback_form.h"

#include <gtest/gtest.h>

#include <string>

namespace {

net::FeedbackEntry Filled() {
  net::FeedbackEntry entry;
  entry.name = "Ada";
  entry.email = "ada@example.org";
  entry.telephone = "555 0100";
  return entry;
}

struct CheckCase {
  const char* what;
  void (*change)(net::FeedbackEntry&);
  const char* title;  // nullptr: accepted
  net::FeedbackControl focus;
  const char* textPart;
};

TEST(FeedbackForm, TheChecksOfSendInOrder) {
  using C = net::FeedbackControl;
  const CheckCase cases[] = {
      {"all filled", [](net::FeedbackEntry&) {}, nullptr, C::kName, ""},
      {"no name, all else wrong too",
       [](net::FeedbackEntry& e) {
         e.name.clear();
         e.email = "bad";
         e.emailTo = "bad";
       },
       "Missing Information", C::kName, "Please enter your name in the name field"},
      {"a name of blanks", [](net::FeedbackEntry& e) { e.name = "   "; }, nullptr, C::kName, ""},
      {"no way to respond",
       [](net::FeedbackEntry& e) {
         e.email.clear();
         e.telephone.clear();
       },
       "Missing Information", C::kTelephone, "so Norvane can respond"},
      {"no response necessary",
       [](net::FeedbackEntry& e) {
         e.email.clear();
         e.telephone.clear();
         e.respondVia = net::kRespondNone;
       },
       nullptr, C::kName, ""},
      {"none selected still needs a way",
       [](net::FeedbackEntry& e) {
         e.email.clear();
         e.telephone.clear();
         e.respondVia = -1;
       },
       "Missing Information", C::kTelephone, ""},
      {"representative without @", [](net::FeedbackEntry& e) { e.emailTo = "rep.example.org"; },
       "Bad Email Address", C::kEmailTo, "Representative isn't complete."},
      {"e-mail without @", [](net::FeedbackEntry& e) { e.email = "ada.example.org"; },
       "Bad Email Address", C::kEmail, "doesn't seem to be correct"},
      {"telephone only", [](net::FeedbackEntry& e) { e.email.clear(); }, nullptr, C::kName, ""},
  };
  for (const CheckCase& c : cases) {
    net::FeedbackEntry entry = Filled();
    c.change(entry);
    const auto refusal = net::CheckFeedback(entry);
    if (!c.title) {
      EXPECT_FALSE(refusal) << c.what;
      continue;
    }
    ASSERT_TRUE(refusal) << c.what;
    EXPECT_EQ(refusal->title, c.title) << c.what;
    EXPECT_EQ(refusal->focus, c.focus) << c.what;
    EXPECT_NE(refusal->text.find(c.textPart), std::string::npos) << c.what << ": " << refusal->text;
  }
}

TEST(FeedbackForm, AnEmailWithABlankGetsTheRemoveSpacesParagraph) {
  net::FeedbackEntry entry = Filled();
  entry.email = "ada @example.org";
  const auto refusal = net::CheckFeedback(entry);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->text,
            "The email address you entered doesn't seem to be correct.\n\n"
            "Please enter a complete email address including\n"
            "the '@' symbol and domain name.\n\n"
            "Please remove any space characters in the email address.");
}

TEST(FeedbackForm, TheFieldsOfThePostInOrder) {
  net::FeedbackEntry entry = Filled();
  entry.company = "Acme";
  entry.type = 2;
  entry.respondVia = 3;
  entry.description = "It hangs.";
  net::FeedbackSender sender;
  sender.productName = "FieldPal Firmware Updater";
  sender.productVersion = "QRN 2.00 C";
  sender.defaultRecipient = "support@norvane.example";
  sender.installationPath = "/usr/bin/fieldpal-updater";
  sender.computerInformation = "Debian (Version 6.1 build 0)";
  const auto fields = net::FeedbackFields(entry, sender);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"EmailTo", "support@norvane.example"},
      {"EmailSubject", "FieldPal Firmware Updater Bug Report"},
      {"Name", "Ada"},
      {"Company Name", "Acme"},
      {"Email", "ada@example.org"},
      {"Telephone", "555 0100"},
      {"Respond Via", "Telephone (mid day is best)"},
      {"Registered Name", ""},
      {"Registered Company", ""},
      {"Software Version", "FieldPal Firmware Updater version QRN 2.00 C"},
      {"Installation Path", "/usr/bin/fieldpal-updater"},
      {"Computer Information", "Debian (Version 6.1 build 0)"},
      {"Feedback", "It hangs."},
  };
  EXPECT_EQ(fields, expected);

  entry.emailTo = "rep@kalto.example";
  entry.respondVia = -1;
  entry.type = 7;
  const auto other = net::FeedbackFields(entry, sender);
  EXPECT_EQ(other[0].second, "rep@kalto.example");
  EXPECT_EQ(other[1].second, "FieldPal Firmware Updater General Feedback");
  EXPECT_EQ(other[6].second, "Unknown RespondVia");
}

TEST(FeedbackForm, TypeNamesAndLabels) {
  EXPECT_EQ(net::FeedbackTypeName(3), "Other Feedback");
  EXPECT_EQ(net::DescriptionLabel(1), "Please describe the feature suggestion below");
  EXPECT_EQ(net::DescriptionLabel(2), "Please describe the bug or issue below");
  EXPECT_TRUE(net::ErrorLogChecked(2));
  EXPECT_FALSE(net::ErrorLogChecked(0));
  EXPECT_EQ(net::FeedbackTypeName(-1), "General Feedback");
  EXPECT_TRUE(net::ErrorLogChecked(-1));
}

TEST(FeedbackForm, TheSizeOfATooLargeFileIsShownInMegabytes) {
  EXPECT_EQ(net::FileSizeErrorText("big.bin", 8388609),
            "The file \"big.bin\" is too big.\n\n"
            "The maximun file size you can send with your feedback\n"
            "is 8 megabytes (this file is 8.0 MB).\n\nPlease choose a different file to send.");
  EXPECT_NE(net::FileSizeErrorText("x", 9961472).find("(this file is 9.5 MB)"), std::string::npos);
}

TEST(FeedbackForm, TheComputerIsDescribedByItsDistributionAndKernel) {
  EXPECT_EQ(net::ComputerInformation("Debian GNU/Linux 12 (bookworm)", "6.1.0-18-amd64"),
            "Debian GNU/Linux 12 (bookworm) (Version 6.1 build 0-18-amd64)");
  EXPECT_EQ(net::ComputerInformation("Fedora Linux 40", "6.8-rc1"),
            "Fedora Linux 40 (Version 6.8 build rc1)");
  EXPECT_EQ(net::ComputerInformation("", "5.15"), "Linux (Version 5.15 build )");
}

TEST(FeedbackForm, TheFileReadingTextsByWhatWentWrong) {
  EXPECT_EQ(net::ReadingFileErrorText("a.txt", net::FileTrouble::kMissing, "x"),
            "Error sending the file \"a.txt\". \nThe file is empty or can't be found on the "
            "system.\n\nPlease check your file name and try again.");
  EXPECT_EQ(net::ReadingFileErrorText("a.txt", net::FileTrouble::kOther, "Permission denied"),
            "Error sending the file \"a.txt\". \n\nPlease try again.\n\nError: Permission denied");
}

}  // namespace
