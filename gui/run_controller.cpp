#include "gui/run_controller.h"

#include <QThread>

#include "app/data_folder.h"
#include "app/update_run.h"
#include "gui/gui_front_end.h"

RunController::RunController(const Product& product, QWidget* window) : QObject(window) {
  AssembleEngine(product, window);
}

RunController::~RunController() {
  if (thread_) thread_->wait();
}

void RunController::AssembleEngine(const Product& product, QWidget* window) {
  // The verbose error file is on at every start.
  log_ = std::make_unique<VexaLog>(ErrorFilePath(product).c_str(), vexa_log_level::kTrace);
  session_ = std::make_unique<SessionContext>(log_.get());
  loader_ = std::make_unique<VexaBSLHost>(log_.get(), CatalogueTypeOfKey, product.image);
  frontEnd_ = std::make_unique<GuiFrontEnd>(window, &continue_);
  context_ = std::make_unique<UpdateContext>(log_.get(), session_.get(), loader_.get(),
                                             frontEnd_.get(), product);
  const DataFolderChoice folder = ChooseDataFolder();
  context_->dataFolder = folder.path;
  dataFolderNotice_ = ::DataFolderNotice(context_->caption, folder);
  if (!folder.problem.empty()) {
    LogMessage(log_.get(), vexa_log_level::kError, "VexaBSL Host", "Data folder: %s; using %s",
               folder.problem.c_str(), folder.path.empty() ? "none" : folder.path.c_str());
  }
}

void RunController::Start(const RunOptions& options) {
  if (thread_) return;
  continue_ = true;
  frontEnd_->SetOptions(options);
  thread_ = QThread::create([this] { result_ = RunUpdate(*context_); });
  thread_->setParent(this);
  connect(thread_, &QThread::finished, this, &RunController::ThreadFinished);
  thread_->start();
}

void RunController::ThreadFinished() {
  thread_->deleteLater();
  thread_ = nullptr;
  emit finished(result_);
}
