#include "app/update_context.h"

#include <algorithm>

#include "app/firmware_write.h"
#include "app/product.h"
#include "loader/builtin_image.h"
#include "loader/firmware_image.h"

UpdateContext::UpdateContext(VexaLog* sink, SessionContext* sessionContext, VexaBSLHost* host,
                             FrontEnd* frontEnd, const Product& product)
    : log(sink),
      session(sessionContext),
      loader(host),
      ui(frontEnd),
      caption(ProductCaption(product)),
      deviceName(ProductDeviceName(product)),
      productType(product.catalogueType),
      imageVersion(static_cast<uint32_t>(product.imageVersion)),
      hardwareRevision(product.hardwareRevision),
      digitalSensor(product.digitalSensor),
      sensorType(product.sensorType) {
  // An image of another size moves the bar over the same span as the FieldPal's does.
  if (product.image != &kFieldPalImage && loader && loader->image.length) {
    writeIncrement = kWriteSpan / static_cast<float>(loader->image.length);
  }
}

int ImageTargetType(const UpdateContext& context) {
  const int type = context.loader->image.type;
  return type != kUnknownType ? type : context.productType;
}

void ShowErrorBox(UpdateContext& context, const std::string& text, const std::string& caption,
                  BoxKind kind) {
  context.ui->ShowBox(text, caption, kind);
  LogMessage(context.log, vexa_log_level::kError, "ErrorOK Told User:", "%s", text.c_str());
}

BoxAnswer ConfirmBox(UpdateContext& context, const std::string& text, const std::string& caption) {
  return context.ui->Confirm(text, caption);
}

bool LoaderProgress(void* context, uint32_t total, uint32_t done, int, char kind) {
  UpdateContext& c = *static_cast<UpdateContext*>(context);
  if (kind == 'X') {
    c.progress = std::clamp(c.progress + c.eraseStep, 0, 100);
  } else if (kind == 'W') {
    c.accumulator += c.writeIncrement;
    c.progress = std::clamp(static_cast<int>(c.accumulator + 0.5f), 0, 100);
  }
  c.ui->ShowProgress({LoaderPhase(kind), c.progress, done, total});
  return c.ui->ShouldContinue();
}

void SetProgress(UpdateContext& context, int percent) {
  context.progress = std::clamp(percent, 0, 100);
  context.ui->ShowProgress({context.phase, context.progress});
}

void StepProgress(UpdateContext& context) {
  SetProgress(context, context.progress + 2);
}

void ShowStatus(UpdateContext& context, RunPhase phase, const std::string& text) {
  context.phase = phase;
  context.ui->SetStatus(text);
  context.ui->ShowProgress({phase, context.progress});
}

void SetSensorType(UpdateContext& context, uint32_t sensorType) {
  char name[kSensorNameSize];
  context.sensorType = sensorType;
  context.deviceName = SensorTypeName(sensorType, name);
}

int32_t OpenFirmwareFile(UpdateContext& context, const char* path) {
  // The file must fit the family it is for (named by the file, else this build's product) now,
  // while the instrument still runs its old firmware: the update erases before it writes.
  const ImageIdentity identity = IdentifyImageFile(path, context.loader->typeOfKey);
  DeviceDescriptor target;
  DescribeDevice(identity.type != kUnknownType ? identity.type : context.productType, kAnyVersion,
                 &target);
  const LoaderMemoryMap map = MemoryMapOf(target);
  const int32_t loaded = BSLLoadTIFile(context.loader, path, &map);
  if (loaded < 0) return loaded;
  FirmwareImage& image = context.loader->image;
  if (image.type == kUnknownType) image.type = static_cast<uint8_t>(context.productType);
  DeviceDescriptor family;
  DescribeDevice(image.type, kAnyVersion, &family);
  context.deviceName = family.name;
  context.imageVersion = static_cast<uint32_t>(image.version);
  context.eraseStep = 1;
  context.writeIncrement = image.length ? kWriteSpan / static_cast<float>(image.length) : 0;
  return loaded;
}
