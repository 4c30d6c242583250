#include "instrument/device_context.h"

#include <new>

DeviceContext::DeviceContext(VexaLog* logSink) : log(logSink) {
  port.log = logSink;
  response = new (std::nothrow) char[kResponseSize + 1];
  readStorage = new (std::nothrow) char[kReadBufferSize];
  if (!response || !readStorage) {
    status = kErrOutOfMemory;
    return;
  }
  response[0] = 0;
  response[kResponseSize] = 0;
  readStorage[0] = 0;
  port.gReadBuffer = readStorage;  // DSOpen uses lent storage and DSClose leaves it alone
  status = kResultOk;
}

DeviceContext::~DeviceContext() {
  DSClose(&port);
  port.gReadBuffer = nullptr;
  delete[] response;
  delete[] readStorage;
}

int32_t SetConnectionOptions(DeviceContext* device, const ConnectionOptions* options) {
  if (!device || !options) return kErrMissingArgument;
  ConnectionOptions taken = *options;
  if (taken.serialTries > kMaxTries || taken.radioTries > kMaxTries) return kErrBadArgument;
  if (taken.traceLevel < 0 || taken.traceLevel > 3) return kErrBadArgument;
  if (taken.extraWaitMs > kMaxExtraWaitMs) return kErrBadArgument;
  if (taken.serialTries == 0) taken.serialTries = 3;
  if (taken.radioTries == 0) taken.radioTries = 5;
  device->options = taken;
  device->tries =
      device->request.linkKind == link_kind::kRadio ? taken.radioTries : taken.serialTries;
  return kResultOk;
}

int32_t GetConnectionOptions(const DeviceContext* device, ConnectionOptions* options) {
  if (!device || !options) return kErrMissingArgument;
  *options = device->options;
  return kResultOk;
}

const char* DeviceTag(const DeviceContext* device) {
  return device->port.name[0] ? device->port.name : "VexaSerial";
}
