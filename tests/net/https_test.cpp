// The services over HTTPS against a loopback server whose certificate is made for the test by a
// certificate authority of its own: trusted (through SSL_CERT_FILE, for this run only) both work;
// a certificate the system does not trust, or one made for another host, is refused with the
// reason on the box's "Error:" line. And an options-store address that is not a web address is
// refused, not read as a local file.
#include <string>

#include "tests/net/net_cli_fixture.h"

namespace {

class HttpsTest : public FeedbackCliTest {
 protected:
  void ServeOverHttps(const std::string& certHost = "127.0.0.1") {
    server_.reset();
    server_ = std::make_unique<LoopbackServer>(folder_, LoopbackTls{true, certHost});
    ASSERT_TRUE(server_->Running());
    server_->SetRoutes(
        {{"/versionfinder/FieldPal-C-Firmware.txt", {{"body", "2.00\nhttp://sw.example/p"}}},
         {"/", {{"body", "<html>home</html>"}}},
         {"/php-bin/app_feedback.php", {{"body", "Script Completed"}}}});
  }
  std::string TrustingTheServer() const {
    return "SSL_CERT_FILE='" + server_->CaFile().string() + "'";
  }
};

TEST_F(HttpsTest, TheVersionCheckAndTheFeedbackWorkWithATrustedCertificate) {
  ServeOverHttps();
  ASSERT_EQ(server_->Url().rfind("https://", 0), 0u);
  ToolOutcome run = Check("", TrustingTheServer());
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_TRUE(Has(run, "You are using the latest version")) << run.output;

  run = Send("--name Ada --phone 1 --text 'Over TLS.'", TrustingTheServer());
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_TRUE(Has(run, "Feedback Successfully Sent")) << run.output;

  const auto requests = server_->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].requestLine, "GET /versionfinder/FieldPal-C-Firmware.txt HTTP/1.1");
  EXPECT_EQ(requests[1].requestLine, "GET / HTTP/1.1");
  EXPECT_EQ(requests[2].requestLine, "POST /php-bin/app_feedback.php HTTP/1.1");
  const std::vector<Part> parts = Parts(requests[2]);
  ASSERT_GE(parts.size(), 13u);
  EXPECT_EQ(parts[12].body, "Over TLS.");
}

struct UntrustedCase {
  const char* what;
  const char* certHost;
  bool trustTheAuthority;
  const char* reason;
};

TEST_F(HttpsTest, AnUntrustedCertificateIsRefusedWithTheReason) {
  const UntrustedCase cases[] = {
      {"an authority the system does not know", "127.0.0.1", false,
       "SSL handshake failed: The issuer certificate of a locally looked up certificate could "
       "not be found"},
      {"a trusted authority, a certificate for another host", "updates.norvane.example", true,
       "SSL handshake failed: The host name did not match any of the valid hosts for this "
       "certificate"},
  };
  for (const UntrustedCase& c : cases) {
    ServeOverHttps(c.certHost);
    const std::string environment = c.trustTheAuthority ? TrustingTheServer() : "";
    ToolOutcome run = Check("", environment);
    EXPECT_EQ(run.exit, 1) << c.what << "\n" << run.output;
    EXPECT_TRUE(Has(run,
                    "Version Check Error\nError connecting to Norvane's version check service.\n"
                    "This feature requires your computer to be connected \nto the internet.\n\n\n"
                    "Please make a connection to the internet and try again.\n\nError: " +
                        std::string(c.reason)))
        << c.what << "\n"
        << run.output;

    run = Send("--name Ada --phone 1", environment);
    EXPECT_EQ(run.exit, 1) << c.what << "\n" << run.output;
    EXPECT_TRUE(Has(run, "Internet Access Error\n")) << c.what << "\n" << run.output;
    EXPECT_TRUE(Has(run, "try again.\n\nError: " + std::string(c.reason))) << c.what << "\n"
                                                                           << run.output;
    EXPECT_TRUE(server_->Requests().empty()) << c.what;
  }
}

TEST_F(FeedbackCliTest, AnOptionsStoreAddressThatIsNotAWebAddressIsRefusedNotRead) {
  // A version file on this machine: a file:// service address would read it and offer 9.99.
  const std::string local = (folder_ / "FieldPal.txt").string();
  std::ofstream(local) << "9.99\nhttp://sw.example/p.exe";
  const std::filesystem::path options = folder_ / "config" / "Norvane Devices, Inc";
  std::filesystem::create_directories(options);
  std::ofstream(options / "VexaBSL.conf")
      << "[General]\nVersionServer=file:///\nSoftwareServer=file:///\n";

  ToolOutcome run = Vexabsl("check-version --yes --document '" + local + "'");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_TRUE(Has(run,
                  "Version Check Error\nError connecting to Norvane's version check "
                  "service."))
      << run.output;
  EXPECT_TRUE(Has(run, "\n\nError: file://" + local + " is not an http:// or https:// address"))
      << run.output;
  EXPECT_EQ(OpenedLinks(), "");

  run = Vexabsl("feedback --name Ada --phone 1 --data-dir '" + (folder_ / "data").string() + "'");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_TRUE(Has(run, "Internet Access Error\n")) << run.output;
  EXPECT_TRUE(Has(run, "\n\nError: file:/// is not an http:// or https:// address")) << run.output;
}

}  // namespace
