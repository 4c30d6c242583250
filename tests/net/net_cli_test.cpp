// vexabsl check-version and vexabsl feedback against a real HTTP server on loopback: every box of
// the version check, the link handed to the desktop only when it is a web link, the feedback
// form's checks, and the exact multipart post with its file parts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "tests/net/net_cli_fixture.h"

namespace fs = std::filesystem;

namespace {

// --- the version check -----------------------------------------------------------------------

struct CheckCase {
  const char* what;
  const char* body;
  const char* options;
  int exit;
  const char* shown;   // a text the output holds
  const char* opened;  // what reached xdg-open ("" nothing)
};

TEST_F(NetCliTest, TheVersionCheckAnswersEachReplyWithItsBox) {
  const CheckCase cases[] = {
      {"newer download, Yes", "2.10\r\nhttp://sw.example/FP-2-10.exe", "--yes", 0,
       "There is newer version of FieldPal Firmware Updater available for download.\n\nWould you "
       "like to download this new version with your web browser now?",
       "http://sw.example/FP-2-10.exe\n"},
      {"newer page, No", "210\nhttps://sw.example/news.html", "--no", 0,
       "There is information about a newer version of FieldPal Firmware Updater\navailable at "
       "https://sw.example/news.html\n\nWould you like to visit this page with your web browser "
       "now?",
       ""},
      {"newer without a terminal is No", "3\nhttp://sw.example/p", "", 0, "-> No", ""},
      {"newer, quiet, still offered", "2.01\nhttp://sw.example/p.exe", "--quiet --yes", 0,
       "New Version Available", "http://sw.example/p.exe\n"},
      {"equal", "2.00\nhttp://sw.example/p", "", 0,
       "Version Finder\nYou are using the latest version of FieldPal Firmware Updater.", ""},
      {"carried newer", "1.99\nhttp://sw.example/p", "", 0,
       "Version Finder\nYou are running a newer version of FieldPal Firmware Updater\nthan is "
       "available from Norvane's web site.",
       ""},
      {"no http", "2.10 and nothing else", "", 1,
       "Version Check Error\nError parsing the version information returned by \nNorvane's "
       "version check service.\n[error -1002]\n\nPlease try again or contact Norvane for help.",
       ""},
      {"not a version", "two\nhttp://sw.example/p", "", 1, "[error -1002]", ""},
      {"a forged handler", "9.99\nhttpx://evil", "--yes", 1, "[error -1002]", ""},
      {"a local file", "9.99\nhttp:/usr/bin/xterm", "--yes", 1, "[error -1002]", ""},
  };
  for (const CheckCase& c : cases) {
    fs::remove(Opened());
    ServeVersionFile(c.body);
    const ToolOutcome run = Check(c.options);
    EXPECT_EQ(run.exit, c.exit) << c.what << "\n" << run.output;
    EXPECT_TRUE(Has(run, c.shown)) << c.what << "\n" << run.output;
    EXPECT_EQ(OpenedLinks(), c.opened) << c.what;
  }
}

TEST_F(NetCliTest, QuietChecksShowNeitherErrorsNorEqualVersionsButKeepTheExitStatus) {
  ServeVersionFile("2.00\nhttp://sw.example/p");
  ToolOutcome run = Check("--quiet");
  EXPECT_EQ(run.exit, 0);
  EXPECT_FALSE(Has(run, "Version Finder")) << run.output;

  ServeVersionFile("no link");
  run = Check("--quiet");
  EXPECT_EQ(run.exit, 1);
  EXPECT_TRUE(Has(run, "result: -1002")) << run.output;
  EXPECT_FALSE(Has(run, "Version Check Error")) << run.output;

  run = Vexabsl("check-version --quiet --server " + DeadLoopbackUrl());
  EXPECT_EQ(run.exit, 1);
  EXPECT_TRUE(Has(run, "result: -1001")) << run.output;
  EXPECT_FALSE(Has(run, "Version Check Error")) << run.output;
}

TEST_F(NetCliTest, AServiceThatCannotBeReachedOrAnswersAnErrorIsMinus1001) {
  ToolOutcome run = Vexabsl("check-version --server " + DeadLoopbackUrl());
  EXPECT_EQ(run.exit, 1);
  EXPECT_TRUE(Has(run,
                  "Version Check Error\nError connecting to Norvane's version check service.\nThis "
                  "feature requires your computer to be connected \nto the internet.\n\n\nPlease "
                  "make a connection to the internet and try again.\n\nError: "))
      << run.output;
  EXPECT_TRUE(Has(run, "result: -1001"));

  server_->SetRoutes(nlohmann::json::object());  // 404 for the version file
  run = Check();
  EXPECT_EQ(run.exit, 1);
  EXPECT_TRUE(Has(run, "Error connecting to Norvane's version check service.")) << run.output;
  EXPECT_TRUE(Has(run, "Not Found")) << run.output;
}

TEST_F(NetCliTest, TheRequestCarriesItsHeadersAndFollowsARedirectWithItsCookie) {
  server_->SetRoutes({
      {"/versionfinder/FieldPal-C-Firmware.txt",
       {{"redirect", "/moved/FieldPal.txt"}, {"set_cookie", "visit=42; Path=/"}}},
      {"/moved/FieldPal.txt", {{"need_cookie", "visit=42"}, {"body", "2.00\nhttp://sw.example/p"}}},
  });
  const ToolOutcome run = Check();
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_TRUE(Has(run, "You are using the latest version")) << run.output;

  const auto requests = server_->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].requestLine, "GET /versionfinder/FieldPal-C-Firmware.txt HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Accept"), "text/html, */*");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(requests[0].Header("Host"), server_->Url().substr(7));
  EXPECT_EQ(requests[1].requestLine, "GET /moved/FieldPal.txt HTTP/1.1");
  EXPECT_EQ(requests[1].Header("Cookie"), "visit=42");
}

TEST_F(NetCliTest, AnotherDocumentAndAFailedBrowserLaunch) {
  server_->SetRoutes(
      {{"/versionfinder/Qd40-Firmware.html", {{"body", "9.00\nhttp://sw.example/q"}}}});
  SetOpener(3);
  const ToolOutcome run = Check("--document /versionfinder/Qd40-Firmware.html --yes");
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_TRUE(Has(run,
                  "Web Browser Launch Error\nFieldPal Firmware Updater had trouble launching your "
                  "web browser.\nPlease try manually going to:\nhttp://sw.example/q"))
      << run.output;
  EXPECT_EQ(OpenedLinks(), "http://sw.example/q\n");
}

TEST_F(NetCliTest, TheServiceAddressComesFromTheOptionsStoreAndIsChecked) {
  ServeVersionFile("2.00\nhttp://sw.example/p");
  fs::create_directories(folder_ / "config" / "Norvane Devices, Inc");
  std::ofstream(folder_ / "config" / "Norvane Devices, Inc" / "VexaBSL.conf")
      << "[General]\nVersionServer=" << server_->Url() << "\n";
  ToolOutcome run = Vexabsl("check-version");
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_TRUE(Has(run, "You are using the latest version")) << run.output;

  run = Vexabsl("check-version --server file:///etc");
  EXPECT_EQ(run.exit, 64) << run.output;
  run = Vexabsl("check-version --document versionfinder");
  EXPECT_EQ(run.exit, 64) << run.output;
}

// --- the feedback ------------------------------------------------------------------------------

TEST_F(FeedbackCliTest, ARefusedFormSendsNothingAtAll) {
  ServeFeedback();
  const std::pair<const char*, const char*> cases[] = {
      {"--email a@b.example", "Missing Information\nPlease enter your name in the name field"},
      {"--name Ada", "Missing Information\nPlease enter your phone number or email address"},
      {"--name Ada --phone 1 --email-to rep",
       "Bad Email Address\nThe email address you entered "
       "for your Norvane\nRepresentative isn't complete."},
      {"--name Ada --email 'a @b.example'",
       "Please remove any space characters in the email address."},
  };
  for (const auto& [arguments, text] : cases) {
    const ToolOutcome run = Send(arguments);
    EXPECT_EQ(run.exit, 1) << arguments << "\n" << run.output;
    EXPECT_TRUE(Has(run, text)) << arguments << "\n" << run.output;
  }
  EXPECT_TRUE(server_->Requests().empty());

  // Without a way to respond but with none asked for, the form is accepted.
  EXPECT_EQ(Send("--name Ada --respond-via none").exit, 0);
}

TEST_F(FeedbackCliTest, ThePostCarriesTheFieldsInOrderAndTheFilesByteForByte) {
  ServeFeedback();
  // The error file, longer than what is kept of it: only its tail is sent.
  {
    std::ofstream log(ErrorFile(), std::ios::binary);
    for (int i = 0; i < 1000; ++i)
      log << "line " << i << " of the diagnostic log, padded out..\r\n";
  }
  const fs::path user = folder_ / "capture.bin";
  std::string content;
  for (int i = 0; i < 70000; ++i) content += static_cast<char>((i * 37) & 0xff);
  content += "\r\n--\r\n";
  std::ofstream(user, std::ios::binary) << content;

  const ToolOutcome run = Send(
      "--name 'Ada L' --company Acme --email ada@example.org --phone '555 0100' --type bug "
      "--respond-via afternoon --text 'It hangs at 40%.' --file '" +
      user.string() + "'");
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_TRUE(Has(run, "Feedback Successfully Sent\nThank you for submitting your Bug Report."))
      << run.output;

  const auto requests = server_->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].requestLine, "GET / HTTP/1.1");
  EXPECT_EQ(requests[1].requestLine, "POST /php-bin/app_feedback.php HTTP/1.1");
  EXPECT_EQ(requests[1].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(requests[1].Header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);

  const std::vector<Part> parts = Parts(requests[1]);
  ASSERT_EQ(parts.size(), 15u);
  const std::vector<std::string> names = {"EmailTo",
                                          "EmailSubject",
                                          "Name",
                                          "Company Name",
                                          "Email",
                                          "Telephone",
                                          "Respond Via",
                                          "Registered Name",
                                          "Registered Company",
                                          "Software Version",
                                          "Installation Path",
                                          "Computer Information",
                                          "Feedback"};
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(parts[i].name, names[i]) << i;
  EXPECT_EQ(parts[0].body, "support@norvane.example");
  EXPECT_EQ(parts[1].body, "FieldPal Firmware Updater Bug Report");
  EXPECT_EQ(parts[2].body, "Ada L");
  EXPECT_EQ(parts[5].body, "555 0100");
  EXPECT_EQ(parts[6].body, "Telephone (afternoon is best)");
  EXPECT_EQ(parts[7].body, "");
  EXPECT_EQ(parts[9].body, "FieldPal Firmware Updater version QRN 2.00 C");
  EXPECT_EQ(fs::path(parts[10].body).filename(), "vexabsl");
  EXPECT_NE(parts[11].body.find(" (Version "), std::string::npos) << parts[11].body;
  EXPECT_EQ(parts[12].body, "It hangs at 40%.");

  // The error file, cut to its last 32768 bytes at a line, then the user's file.
  std::ifstream kept(ErrorFile(), std::ios::binary);
  const std::string tail(std::istreambuf_iterator<char>(kept), {});
  EXPECT_LE(tail.size(), 32768u);
  EXPECT_EQ(tail.rfind("line 999 ", 0), std::string::npos);  // the start is gone
  EXPECT_EQ(parts[13].name, "FieldPal Firmware Updater.errors.txt");
  EXPECT_EQ(parts[13].fileName, ErrorFile());
  EXPECT_EQ(parts[13].headers.at("content-type"), "text/plain");
  EXPECT_EQ(parts[13].body, tail);
  EXPECT_EQ(parts[14].name, "capture.bin");
  EXPECT_EQ(parts[14].fileName, user.string());
  EXPECT_EQ(parts[14].headers.at("content-type"), "application/octet-stream");
  EXPECT_EQ(parts[14].body, content);
}

TEST_F(FeedbackCliTest, TheRepresentativeGetsTheFeedbackAndAnEmptyErrorFileIsNoted) {
  ServeFeedback();
  const ToolOutcome run = Send("--name Ada --phone 1 --email-to rep@kalto.example --type other");
  EXPECT_EQ(run.exit, 0) << run.output;
  const auto posts = Posts();
  ASSERT_EQ(posts.size(), 1u);
  const auto parts = Parts(posts[0]);
  ASSERT_GE(parts.size(), 14u);
  EXPECT_EQ(parts[0].body, "rep@kalto.example");
  EXPECT_EQ(parts[1].body, "FieldPal Firmware Updater Other Feedback");
  // The error file had nothing: the line saying so is what is sent.
  EXPECT_NE(parts[13].body.find(
                "FieldPal Firmware Updater: Launching web feedback with an empty error file."),
            std::string::npos)
      << parts[13].body;
}

TEST_F(FeedbackCliTest, EightMebibytesAreSentOneByteMoreIsRefused) {
  ServeFeedback();
  const fs::path file = folder_ / "limit.dat";
  fs::resize_file((std::ofstream(file).close(), file), 8388608);
  ToolOutcome run = Send("--name Ada --phone 1 --file '" + file.string() + "'");
  EXPECT_EQ(run.exit, 0) << run.output;
  ASSERT_EQ(Posts().size(), 1u);
  EXPECT_EQ(Parts(Posts()[0]).back().body.size(), 8388608u);

  fs::resize_file(file, 8388609);
  run = Send("--name Ada --phone 1 --file '" + file.string() + "'");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_TRUE(Has(run, "File Size Error\nThe file \"limit.dat\" is too big.")) << run.output;
  EXPECT_TRUE(Has(run, "(this file is 8.0 MB)")) << run.output;
  EXPECT_EQ(Posts().size(), 1u);
}

TEST_F(FeedbackCliTest, OnlyScriptCompletedIsASuccess) {
  ServeFeedback("<html><body><h1>500 Internal Server Error</h1></body></html>");
  ToolOutcome run = Send("--name Ada --phone 1");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_TRUE(Has(run,
                  "Error Sending Feedback\nThere was an error trying to send your General "
                  "Feedback to Norvane.\n\nPlease try again."))
      << run.output;
  EXPECT_TRUE(Has(run, "result: -1000")) << run.output;

  server_->SetRoutes(
      {{"/", {{"body", "home"}}},
       {"/php-bin/app_feedback.php", {{"status", 500}, {"body", "Script Completed"}}}});
  run = Send("--name Ada --phone 1");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_TRUE(Has(run, "\n\nError: ")) << run.output;
}

TEST_F(FeedbackCliTest, AFailedConnectionTestStopsBeforeThePost) {
  ToolOutcome run = Vexabsl("feedback --name Ada --phone 1 --server " + DeadLoopbackUrl() +
                            " --data-dir '" + (folder_ / "data").string() + "'");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_TRUE(Has(run,
                  "Internet Access Error\nError connecting to Norvane's customer feedback internet "
                  "service.\n\nThis feature requires your computer to be connected to the "
                  "internet\nand able to reach Norvane's web site at 127.0.0.1.\n\nPlease make a "
                  "connection to the internet and try again.\n\nError: "))
      << run.output;

  server_->SetRoutes({{"/", {{"status", 503}, {"body", "down"}}}});
  run = Send("--name Ada --phone 1");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_TRUE(Has(run, "Internet Access Error")) << run.output;
  EXPECT_TRUE(Posts().empty());
}

TEST_F(FeedbackCliTest, AMissingUserFileAbandonsThePost) {
  ServeFeedback();
  const ToolOutcome run =
      Send("--name Ada --phone 1 --file '" + (folder_ / "gone.txt").string() + "'");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_TRUE(Has(run,
                  "Error Reading File\nError sending the file \"gone.txt\". \nThe file is "
                  "empty or can't be found on the system.\n\nPlease check your file name and "
                  "try again."))
      << run.output;
  EXPECT_TRUE(Posts().empty());
}

TEST_F(FeedbackCliTest, ADescriptionLongerThanTheFormTakesIsAUsageError) {
  ServeFeedback();
  EXPECT_EQ(Send("--name Ada --phone 1 --text " + std::string(2048, 'x')).exit, 0);
  const ToolOutcome run = Send("--name Ada --phone 1 --text " + std::string(2049, 'x'));
  EXPECT_EQ(run.exit, 64) << run.output;
  EXPECT_EQ(Posts().size(), 1u);
}

}  // namespace
