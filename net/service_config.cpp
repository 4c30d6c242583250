#include "net/service_config.h"

#include <QSettings>

#include "net/http_client.h"

namespace net {
namespace {

constexpr const char* kOrganisation = "Norvane Devices, Inc";
constexpr const char* kApplication = "VexaBSL";

QUrl Configured(const char* key, const char* built_in) {
  const QSettings options(kOrganisation, kApplication);
  const QString value = options.value(key).toString().trimmed();
  return QUrl(value.isEmpty() ? QString(built_in) : value);
}

}  // namespace

QUrl VersionServiceUrl() {
  return Configured("VersionServer", VEXA_VERSION_SERVER);
}

QUrl SoftwareHostUrl() {
  return Configured("SoftwareServer", VEXA_SOFTWARE_SERVER);
}

std::string SupportEmail() {
  return VEXA_SUPPORT_EMAIL;
}

bool IsServiceAddress(const std::string& text) {
  return IsWebAddress(QUrl(QString::fromStdString(text), QUrl::StrictMode));
}

QUrl ServiceUrl(const QUrl& base, const std::string& path) {
  QUrl url = base;
  url.setPath(QString::fromStdString(path));
  url.setQuery(QString());
  url.setFragment(QString());
  return url;
}

}  // namespace net
