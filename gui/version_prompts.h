// The version check's boxes for the window: modal to the main window and centred on it, with the
// sound of their icon; the link opens with the desktop's default handler (xdg-open on Linux).
#pragma once

#include <QPointer>
#include <QWidget>

#include "net/version_check.h"

class WindowVersionPrompts : public net::VersionPrompts {
 public:
  explicit WindowVersionPrompts(QWidget* window) : window_(window) {}

  void Show(Kind kind, const std::string& title, const std::string& text) override;
  bool AskYesNo(const std::string& title, const std::string& text) override;
  bool OpenLink(const std::string& link) override;

 private:
  // Once the main window has closed (during the request) nothing more is shown.
  bool WindowGone() const { return !window_ || !window_->isVisible(); }

  QPointer<QWidget> window_;
};
