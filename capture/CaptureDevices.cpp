#include "capture/CaptureDevices.h"

#include <cstdio>
#include <mutex>

#include "capture/CaptureInput.h"
#include "media/FFBindings.h"

namespace capture {

namespace {

struct TRegistry {
  std::mutex Lock;
  std::vector<const TCaptureDevice*> Devices;
};

// The registry lives as long as the process: registration is permanent.
TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;  // never destroyed, like the library's list
  return *registry;
}

}  // namespace

void RegisterInputFormat(const TCaptureDevice& AFormat) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  for (const TCaptureDevice* d : r.Devices)
    if (d->name == AFormat.name) return;
  r.Devices.push_back(&AFormat);
}

const TCaptureDevice* FindCaptureDevice(const std::string& AName) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  for (const TCaptureDevice* d : r.Devices)
    if (AName == d->name) return d;
  return nullptr;
}

std::vector<std::string> CaptureDeviceNames() {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  std::vector<std::string> names;
  for (const TCaptureDevice* d : r.Devices) names.emplace_back(d->name);
  return names;
}

void DeviceLog(AVFormatContext* s, int ALevel, const char* AFormat, ...) {
  // An input opened through TDeviceInput logs under the device's own name.
  auto* input = s ? static_cast<TDeviceInput*>(s->opaque) : nullptr;
  va_list args;
  va_start(args, AFormat);
  if (ff::av_vlog) {
    va_list copy;
    va_copy(copy, args);
    ff::av_vlog(input ? input->LogContext() : static_cast<void*>(s), ALevel, AFormat, copy);
    va_end(copy);
  }
  if (input && ALevel <= AV_LOG_ERROR) {
    char text[1024];
    std::vsnprintf(text, sizeof text, AFormat, args);
    std::string msg(text);
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    input->SetLastErrMsg(std::move(msg));
  }
  va_end(args);
}

}  // namespace capture
