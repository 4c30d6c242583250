// What an update needs of the program that shows it: the window or the command line. The update
// sequence (update_run.h) is written once against this interface and never prints or shows
// anything itself; each front end renders the statuses, the progress and the boxes its own way.
#pragma once

#include <string>

#include "app/progress_event.h"

// The kinds of message box, each with its icon and system sound.
enum class BoxKind { kWarning = 0, kError = 1, kInformation = 2, kConfirmation = 3, kPlain = 4 };

// The answer of a question box.
enum class BoxAnswer { kOk = 1, kCancel = 2 };

// The service switches and options a run reads when it starts.
struct RunOptions {
  bool factoryMode = false;    // "-factory": override some refusals
  bool serviceFlag = false;    // "-factory" or "-rep": offer OK-to-continue on some failures
  bool dontEraseData = false;  // keep the measurements stored in the instrument
  bool replaceSerial = false;  // give the instrument the new serial number below
  std::string newSerial;
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // The status line under the port: set (and shown) and hidden again.
  virtual void SetStatus(const std::string& text) = 0;
  virtual void HideStatus() = 0;
  // Where the run is: a new phase (with the bar where it stands), the bar moving, or the loader
  // counting what it erased and wrote.
  virtual void ShowProgress(const ProgressEvent& event) = 0;
  // The line that tells the user what to do with the instrument.
  virtual void SetConnectLabel(const std::string& text) = 0;
  // A modal box with an OK button only; returns when the user closed it.
  virtual void ShowBox(const std::string& text, const std::string& caption, BoxKind kind) = 0;
  // A modal OK/Cancel question with the exclamation icon.
  virtual BoxAnswer Confirm(const std::string& text, const std::string& caption) = 0;
  // The success sound at the end of a run.
  virtual void Beep() = 0;
  // False once the user asked to stop: the loader stops at its next block (kErrCancelled).
  virtual bool ShouldContinue() = 0;
  virtual RunOptions Options() = 0;
};
