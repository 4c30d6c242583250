#include "gui/run_controller.h"

#include <QThread>

#include "app/data_folder.h"
#include "gui/gui_front_end.h"

RunController::RunController(const Product& product, QWidget* window) : QObject(window) {
  AssembleEngine(product, window);
}

RunController::~RunController() {
  if (thread_) thread_->wait();
}

void RunController::AssembleEngine(const Product& product, QWidget* window) {
  const DataFolderChoice folder = ChooseDataFolder();
  EngineDescription description;
  description.product = &product;
  description.dataFolder = folder.path;
  description.logLevel = vexa_log_level::kTrace;  // the verbose error file is on at every start
  description.serviceRecord = true;
  frontEnd_ = std::make_unique<GuiFrontEnd>(window, &continue_);
  engine_ = std::make_unique<UpdateEngine>(description, frontEnd_.get());
  dataFolderNotice_ = ::DataFolderNotice(engine_->Context().caption, folder);
  if (!folder.problem.empty()) {
    LogMessage(&engine_->Log(), vexa_log_level::kError, "VexaBSL Host", "Data folder: %s; using %s",
               folder.problem.c_str(), folder.path.empty() ? "none" : folder.path.c_str());
  }
}

void RunController::Start(const RunOptions& options) {
  if (thread_) return;
  continue_ = true;
  frontEnd_->SetOptions(options);
  thread_ = QThread::create([this] { result_ = engine_->Update(); });
  thread_->setParent(this);
  connect(thread_, &QThread::finished, this, &RunController::ThreadFinished);
  thread_->start();
}

void RunController::ThreadFinished() {
  thread_->deleteLater();
  thread_ = nullptr;
  emit finished(result_);
}
