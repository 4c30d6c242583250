// What a server or a named file can make vexabsl check-version and vexabsl feedback do, and what
// not: a reply longer than its limit is abandoned, a server that trickles its answer is given up
// at the deadline, a home page of any size is only a sign of life, and a file that is not a
// regular file (a FIFO, a device, a folder) is refused without being read.
#include <sys/stat.h>

#include <string>

#include "tests/net/net_cli_fixture.h"

namespace {

constexpr const char* kVersionPath = "/versionfinder/FieldPal-C-Firmware.txt";
constexpr const char* kTooLong = "\n\nError: The reply was abandoned: it is larger than ";
constexpr const char* kTooSlow =
    "\n\nError: The reply was abandoned: it did not arrive within 1.5 seconds";
// A deadline that a trickling server misses by far (its answer would take over a minute).
constexpr const char* kShortDeadline = "VEXA_HTTP_DEADLINE_MS=1500";

// A valid version file padded with blanks (the link's trailing white space is not read) to
// `size` bytes.
std::string VersionFileOf(size_t size) {
  std::string body = "2.00\nhttp://sw.example/p";
  body.resize(size, ' ');
  return body;
}

struct ReplyCase {
  const char* what;
  nlohmann::json route;
  int exit;
  std::string shown;
};

TEST_F(NetCliTest, AVersionFileMayBe64KibAndALongerOrSlowerReplyIsAbandoned) {
  const ReplyCase cases[] = {
      {"exactly 64 KiB", {{"body", VersionFileOf(65536)}}, 0, "You are using the latest version"},
      {"one byte more, announced",
       {{"body", VersionFileOf(65537)}},
       1,
       std::string(kTooLong) + "65536 bytes"},
      {"one byte more, ended by the connection's close",
       {{"body", VersionFileOf(65537)}, {"no_length", true}},
       1,
       std::string(kTooLong) + "65536 bytes"},
      {"64 MiB, ended by the connection's close",
       {{"body", std::string(65536, 'x')}, {"repeat", 1024}, {"no_length", true}},
       1,
       std::string(kTooLong) + "65536 bytes"},
      {"one byte every half second", {{"body", VersionFileOf(200)}, {"trickle", 0.5}}, 1, kTooSlow},
  };
  for (const ReplyCase& c : cases) {
    server_->SetRoutes({{kVersionPath, c.route}});
    const ToolOutcome run = Check("", kShortDeadline);
    EXPECT_EQ(run.exit, c.exit) << c.what << "\n" << run.output;
    EXPECT_TRUE(Has(run, c.shown)) << c.what << "\n" << run.output;
    if (c.exit != 0) {
      EXPECT_TRUE(Has(run,
                      "Version Check Error\nError connecting to Norvane's version check "
                      "service."))
          << c.what << "\n"
          << run.output;
      EXPECT_TRUE(Has(run, "result: -1001")) << c.what << "\n" << run.output;
    }
  }
}

struct FeedbackReplyCase {
  const char* what;
  nlohmann::json home;
  nlohmann::json script;
  const char* environment;
  int exit;
  std::string shown;
};

TEST_F(FeedbackCliTest, TheFeedbackRepliesAreBoundedInSizeAndTime) {
  const nlohmann::json completed = {{"body", "<html>Script Completed</html>"}};
  const FeedbackReplyCase cases[] = {
      {"a home page of 4 MiB",
       {{"body", std::string(65536, 'h')}, {"repeat", 64}},
       completed,
       "",
       0,
       "Feedback Successfully Sent"},
      {"a script reply over 1 MiB",
       {{"body", "home"}},
       {{"body", "Script Completed "}, {"repeat", 65536}},
       "",
       1,
       "Error Sending Feedback\nThere was an error trying to send your General Feedback to "
       "Norvane.\n\nPlease try again." +
           std::string(kTooLong) + "1048576 bytes"},
      {"a script reply that trickles",
       {{"body", "home"}},
       {{"body", "<html>Script Completed</html>"}, {"trickle", 0.5}, {"repeat", 5}},
       kShortDeadline,
       1,
       std::string("Error Sending Feedback\n") +
           "There was an error trying to send your General "
           "Feedback to Norvane.\n\nPlease try again." +
           kTooSlow},
      {"a home page that trickles",
       {{"body", "<html>home</html>"}, {"trickle", 0.5}, {"repeat", 5}},
       completed,
       kShortDeadline,
       1,
       std::string("Internet Access Error\n") + "Error connecting to Norvane's customer feedback "
                                                "internet service."},
  };
  for (const FeedbackReplyCase& c : cases) {
    server_->SetRoutes({{"/", c.home}, {"/php-bin/app_feedback.php", c.script}});
    const ToolOutcome run = Send("--name Ada --phone 1", c.environment);
    EXPECT_EQ(run.exit, c.exit) << c.what << "\n" << run.output;
    EXPECT_TRUE(Has(run, c.shown)) << c.what << "\n" << run.output;
  }
  // The home page that trickled was given up at the deadline too, before anything was posted.
  EXPECT_EQ(Posts().size(), 3u);
}

struct FileCase {
  const char* what;
  std::string arguments;
  int exit;
  std::string shown;
};

TEST_F(FeedbackCliTest, OnlyRegularFilesAreReadAndNeverPastTheirLimits) {
  ServeFeedback();
  // A FIFO without a writer: opening it to read would wait for one without end.
  const std::string pipe = (folder_ / "pipe").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string folder = (folder_ / "data").string();
  const std::string tooLong = (folder_ / "long.txt").string();
  std::ofstream(tooLong) << std::string(8193, 'x');
  // 2048 characters of two bytes each: the form takes them all.
  std::string accents;
  for (int i = 0; i < 2048; ++i) accents += "\xC3\xA9";
  const std::string accented = (folder_ / "accents.txt").string();
  std::ofstream(accented) << accents;

  const FileCase refused[] = {
      {"--file FIFO", "--file '" + pipe + "'", 1,
       "Error Reading File\nError sending the file \"pipe\". \n\nPlease try again.\n\nError: " +
           pipe + " is not a regular file"},
      {"--file /dev/zero", "--file /dev/zero", 1,
       "Error sending the file \"zero\". \n\nPlease try again.\n\nError: /dev/zero is not a "
       "regular file"},
      {"--file folder", "--file '" + folder + "'", 1, folder + " is not a regular file"},
      {"--text-file FIFO", "--text-file '" + pipe + "'", 64,
       "vexabsl: cannot read the description: " + pipe + " is not a regular file"},
      {"--text-file /dev/zero", "--text-file /dev/zero", 64,
       "vexabsl: cannot read the description: /dev/zero is not a regular file"},
      {"--text-file over 8192 bytes", "--text-file '" + tooLong + "'", 64,
       "vexabsl: " + tooLong + " holds more than 2048 characters; at most 2048 are sent"},
      {"--text of 2049 characters", "--text '" + accents + "\xC3\xA9'", 64,
       "vexabsl: the description has 2049 characters; at most 2048 are sent"},
  };
  for (const FileCase& c : refused) {
    const ToolOutcome run = Send("--name Ada --phone 1 " + c.arguments);
    EXPECT_EQ(run.exit, c.exit) << c.what << "\n" << run.output;
    EXPECT_TRUE(Has(run, c.shown)) << c.what << "\n" << run.output;
  }
  EXPECT_TRUE(Posts().empty());

  const ToolOutcome run = Send("--name Ada --phone 1 --text-file '" + accented + "'");
  EXPECT_EQ(run.exit, 0) << run.output;
  ASSERT_EQ(Posts().size(), 1u);
  const std::vector<Part> parts = Parts(Posts()[0]);
  ASSERT_GE(parts.size(), 13u);
  EXPECT_EQ(parts[12].name, "Feedback");
  EXPECT_EQ(parts[12].body, accents);
}

}  // namespace
