// The window's side of an update: the run goes on a worker thread of its own (run_controller.h, so
// the window never freezes), and this front end carries what it reports back to the window's
// thread: statuses, progress and the connect label as queued signals, message boxes and questions
// as blocking calls on the window's thread (the run waits for the user's answer), the continue
// flag as an atomic.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>

#include "app/front_end.h"

class GuiFrontEnd : public QObject, public FrontEnd {
  Q_OBJECT

 public:
  GuiFrontEnd(QWidget* window, std::atomic<bool>* continueFlag);

  // The options the next run reads, taken on the window's thread before it starts.
  void SetOptions(const RunOptions& options) { options_ = options; }

  void SetStatus(const std::string& text) override;
  void HideStatus() override { emit statusHidden(); }
  // The window's bar shows where the run is; the phase is on the status line already.
  void ShowProgress(const ProgressEvent& event) override { emit progressChanged(event.percent); }
  void SetConnectLabel(const std::string& text) override;
  void ShowBox(const std::string& text, const std::string& caption, BoxKind kind) override;
  BoxAnswer Confirm(const std::string& text, const std::string& caption) override;
  void Beep() override;
  bool ShouldContinue() override { return continue_->load(); }
  RunOptions Options() override { return options_; }

 signals:
  void statusChanged(const QString& text);
  void statusHidden();
  void progressChanged(int percent);
  void connectLabelChanged(const QString& text);

 private:
  QPointer<QWidget> window_;
  std::atomic<bool>* continue_;
  RunOptions options_;
};
