// The window's updates: the engine of a run (the error file, the session and loader contexts and
// the update context), made with the window and kept for the life of the program; each update on
// a worker thread of its own, so that the window never freezes; and the user's cancel. What a
// run reports reaches the window's thread through the front end (gui_front_end.h): statuses and
// progress as queued signals, boxes as blocking calls on the window's thread.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "app/front_end.h"
#include "app/product.h"
#include "app/update_context.h"
#include "app/update_engine.h"
#include "link/log.h"

class QThread;
class QWidget;
class GuiFrontEnd;

class RunController : public QObject {
  Q_OBJECT

 public:
  // The engine for the product; the runs' boxes are modal to `window`, which owns the controller.
  RunController(const Product& product, QWidget* window);
  ~RunController() override;  // waits for a run in progress

  UpdateContext& Context() { return engine_->Context(); }
  VexaLog* Log() const { return &engine_->Log(); }
  // What the user must be told about the data folder before a run ("" when all is well).
  const std::string& DataFolderNotice() const { return dataFolderNotice_; }
  // The engine's construction result: 1, or kErrOutOfMemory, kErrImageDamaged or another
  // negative code when it could not be built.
  int32_t EngineStatus() const { return engine_->Status(); }
  // What a run reports, as signals on the window's thread.
  GuiFrontEnd* Reports() const { return frontEnd_.get(); }

  // From Start until `finished`: the engine objects belong to the run meanwhile.
  bool Running() const { return thread_ != nullptr; }
  // Runs one update with the options on a worker thread; `finished` follows on this thread.
  void Start(const RunOptions& options);
  // Asks a run to stop: the loader stops at its next block (kErrCancelled).
  void Cancel() { continue_ = false; }

 signals:
  // A run ended, with its result (the controller is no longer running).
  void finished(int result);

 private:
  // The engine objects of the product's runs, and the update context over them.
  void AssembleEngine(const Product& product, QWidget* window);
  void ThreadFinished();

  std::atomic<bool> continue_{true};
  std::unique_ptr<GuiFrontEnd> frontEnd_;
  std::unique_ptr<UpdateEngine> engine_;
  QThread* thread_ = nullptr;
  int32_t result_ = 0;  // written by the worker thread, read once it has finished
  std::string dataFolderNotice_;
};
