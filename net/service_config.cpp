#include "net/service_config.h"

#include <QSettings>
#include <QUrl>

#include "net/http_client.h"

namespace net {
namespace {

constexpr const char* kOrganisation = "Norvane Devices, Inc";
constexpr const char* kApplication = "VexaBSL";

std::string Configured(const char* key, const char* built_in) {
  const QSettings options(kOrganisation, kApplication);
  const QString value = options.value(key).toString().trimmed();
  return value.isEmpty() ? std::string(built_in) : value.toStdString();
}

// An address text as the client reads it (http_client.cpp), and back in its encoded form, which
// reads back as the same address.
QUrl UrlOf(const std::string& text) {
  return QUrl(QString::fromStdString(text));
}
std::string TextOf(const QUrl& url) {
  return url.toString(QUrl::FullyEncoded).toStdString();
}

}  // namespace

std::string VersionServiceUrl() {
  return Configured("VersionServer", VEXA_VERSION_SERVER);
}

std::string SoftwareHostUrl() {
  return Configured("SoftwareServer", VEXA_SOFTWARE_SERVER);
}

std::string SupportEmail() {
  return VEXA_SUPPORT_EMAIL;
}

bool IsServiceAddress(const std::string& text) {
  return IsWebAddress(text);
}

std::string ServiceUrl(const std::string& base, const std::string& path) {
  QUrl url = UrlOf(base);
  url.setPath(QString::fromStdString(path));
  url.setQuery(QString());
  url.setFragment(QString());
  return TextOf(url);
}

std::string HostName(const std::string& url) {
  return UrlOf(url).host().toStdString();
}

}  // namespace net
