#include "media/FFLoad.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

#include "media/FFBindings.h"
#include "media/FFLog.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace media {
namespace {

// Raised by a binding unit when a required entry point is missing.
class EBindError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Format(const char* fmt, const std::string& a, const std::string& b,
                   const std::string& c) {
  const int n = std::snprintf(nullptr, 0, fmt, a.c_str(), b.c_str(), c.c_str());
  std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(s.data(), s.size() + 1, fmt, a.c_str(), b.c_str(), c.c_str());
  return s;
}

std::string DlError() {
  const char* e = dlerror();
  return e ? e : "unknown error";
}

template <typename T>
void BindFunction(const std::string& ALibName, void* AHandle, const char* AName, bool AOptional,
                  T& AVariable) {
  dlerror();
  void* address = dlsym(AHandle, AName);
  if (!address) {
    AVariable = nullptr;
    if (AOptional) return;
    throw EBindError(Format("Load function %s@%s error: %s", AName, ALibName, DlError()));
  }
  AVariable = reinterpret_cast<T>(address);
}

// Binding units: one Fixup and one Unfix per library, generated from the
// entry-point lists.
#define QSR_BIND_REQUIRED(n) BindFunction(ALibName, AHandle, #n, false, ff::n);
#define QSR_BIND_OPTIONAL(n) BindFunction(ALibName, AHandle, #n, true, ff::n);
#define QSR_UNBIND(n) ff::n = nullptr;
#define QSR_BINDING_UNIT(Unit, LIST)                                   \
  void Unit##Fixup(const std::string& ALibName, void* AHandle) {      \
    LIST(QSR_BIND_REQUIRED, QSR_BIND_OPTIONAL)                         \
  }                                                                    \
  void Unit##Unfix() { LIST(QSR_UNBIND, QSR_UNBIND) }

QSR_BINDING_UNIT(AVCodecStubs, QSR_AVCODEC_ENTRIES)
QSR_BINDING_UNIT(AVCoreStubs, QSR_SWRESAMPLE_ENTRIES)
QSR_BINDING_UNIT(AVDeviceStubs, QSR_AVDEVICE_ENTRIES)
QSR_BINDING_UNIT(AVFilterStubs, QSR_AVFILTER_ENTRIES)
QSR_BINDING_UNIT(AVFormatStubs, QSR_AVFORMAT_ENTRIES)
QSR_BINDING_UNIT(AVUtilStubs, QSR_AVUTIL_ENTRIES)
QSR_BINDING_UNIT(SwScaleStubs, QSR_SWSCALE_ENTRIES)
QSR_BINDING_UNIT(MyUtilStubs, QSR_LIBC_ENTRIES)

using TFixupProc = void (*)(const std::string&, void*);
using TUnfixProc = void (*)();

struct TLibraryItem {
  TLibrary Lib;
  const char* Name;
  bool SysLib;
  int Version;
  TFixupProc Fixup;
  TUnfixProc Unfix;
};

constexpr std::array<TLibraryItem, kLibraryCount> kItems{{
    {avCodec, "avcodec", false, 59, AVCodecStubsFixup, AVCodecStubsUnfix},
    {avCore, "swresample", false, 4, AVCoreStubsFixup, AVCoreStubsUnfix},
    {avDevice, "avdevice", false, 59, AVDeviceStubsFixup, AVDeviceStubsUnfix},
    {avFilter, "avfilter", false, 8, AVFilterStubsFixup, AVFilterStubsUnfix},
    {avFormat, "avformat", false, 59, AVFormatStubsFixup, AVFormatStubsUnfix},
    {avUtil, "avutil", false, 57, AVUtilStubsFixup, AVUtilStubsUnfix},
    {swScale, "swscale", false, 6, SwScaleStubsFixup, SwScaleStubsUnfix},
    {myUtil, "c", true, 6, MyUtilStubsFixup, MyUtilStubsUnfix},
}};

// Libraries load after those they depend on, so that a library taken from
// the private folder finds its siblings there rather than a second system
// copy; they unload in the reverse order.
constexpr std::array<TLibrary, kLibraryCount> kLoadOrder{
    avUtil, avCore, swScale, avCodec, avFormat, avFilter, avDevice, myUtil};

struct TLibraryStatus {
  std::string Name;  // file-name override; empty: the composed name
  void* Handle = nullptr;
  bool Fixuped = false;
};

// Process-wide state of the loader.
struct LoaderUnit {
  std::array<TLibraryStatus, kLibraryCount> Status;
  std::string LastErrMsg;
  std::string LibraryPath;
  bool ShuttingDown = false;

  LoaderUnit();
  ~LoaderUnit();
};

LoaderUnit& Unit() {
  static LoaderUnit unit;
  return unit;
}

LoaderUnit::LoaderUnit() {
  // The logger's state must outlive the libraries that call into it.
  EnsureLoggerUnit();
}

void UnloadLibrary(TLibrary ALibrary);

// Process shutdown unloads every library.
LoaderUnit::~LoaderUnit() {
  ShuttingDown = true;
  for (auto it = kLoadOrder.rbegin(); it != kLoadOrder.rend(); ++it) UnloadLibrary(*it);
}

void UnloadLibrary(TLibrary ALibrary) {
  TLibraryStatus& status = Unit().Status[ALibrary];
  if (status.Fixuped) {
    // The library must not call back into the program once it is gone.
    if (ALibrary == avUtil && ff::av_log_set_callback && ff::av_log_default_callback)
      UninstallAVLogCallback();
    status.Fixuped = false;
  }
  // Also after a failed binding: no variable may point into a closed library.
  if (status.Handle) kItems[ALibrary].Unfix();
  if (status.Handle) {
    dlclose(status.Handle);
    status.Handle = nullptr;
  }
}

std::string DirectoryOf(const std::string& path) {
  const auto p = path.rfind('/');
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string BareName(const std::string& path) {
  const auto p = path.rfind('/');
  return p == std::string::npos ? path : path.substr(p + 1);
}

}  // namespace

std::string LibraryFileName(TLibrary ALibrary) {
  const TLibraryItem& item = kItems[ALibrary];
  std::string name = std::string("lib") + item.Name + ".so";
  if (item.Version >= 0) {
    name += '.';
    name += std::to_string(item.Version);
  }
  return name;
}

void SetLibraryFileName(TLibrary ALibrary, const std::string& AName) {
  Unit().Status[ALibrary].Name = AName;
}

void* LoadLibraryInDir(const std::string& ADirectory, const std::string& AFileName,
                       std::string& AError) {
  void* handle = nullptr;
  dlerror();
  if (!ADirectory.empty()) {
    std::string dir = ADirectory;
    if (dir.back() != '/') dir += '/';
    const std::string full = dir + AFileName;
    if (::access(full.c_str(), F_OK) == 0) {
      handle = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) AError = DlError();
      return handle;
    }
  }
  handle = dlopen(AFileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) AError = DlError();
  return handle;
}

TFFLoader& FFLoader() {
  Unit();  // the state outlives the loader object
  static TFFLoader loader;
  return loader;
}

std::string TFFLoader::LastErrMsg() const { return Unit().LastErrMsg; }
std::string TFFLoader::LibraryPath() const { return Unit().LibraryPath; }
void TFFLoader::SetLibraryPath(const std::string& APath) { Unit().LibraryPath = APath; }

bool TFFLoader::Load(TLibrary ALibrary) {
  LoaderUnit& unit = Unit();
  TLibraryStatus& status = unit.Status[ALibrary];
  const TLibraryItem& item = kItems[ALibrary];
  const std::string fileName = status.Name.empty() ? LibraryFileName(ALibrary) : status.Name;

  if (!status.Handle) {
    std::string directory = DirectoryOf(fileName);
    if (directory.empty() && !unit.LibraryPath.empty() && !item.SysLib) {
      directory = unit.LibraryPath;
      if (directory.back() != '/') directory += '/';
    }
    std::string error;
    status.Handle = LoadLibraryInDir(directory, BareName(fileName), error);
    if (!status.Handle) {
      unit.LastErrMsg =
          Format("Load library %s error: %s", directory + BareName(fileName), error, "");
      return false;
    }
  }

  if (!status.Fixuped) {
    try {
      item.Fixup(fileName, status.Handle);
      status.Fixuped = true;
    } catch (const EBindError& e) {
      unit.LastErrMsg = e.what();
    }
  }
  if (!status.Fixuped) {
    Unload(ALibrary);
    return false;
  }

  switch (ALibrary) {
    case avUtil:
      if (FInstallLogger) InstallAVLogCallback();
      break;
    case avFormat:
      // Network protocols (used by tcp:, http: inputs and outputs).
      ff::avformat_network_init();
      break;
    default:
      break;
  }
  return true;
}

bool TFFLoader::Load(TLibraries ALibraries) {
  if (ALibraries.Empty()) throw std::logic_error("Assertion failed: empty library set (FFLoad)");
  for (TLibrary lib : kLoadOrder) {
    if (!ALibraries.Contains(lib)) continue;
    if (!Load(lib)) {
      const std::string message = Unit().LastErrMsg;
      Unload(ALibraries);
      Unit().LastErrMsg = message;
      return false;
    }
  }
  return true;
}

bool TFFLoader::Loaded(TLibrary ALibrary) const {
  const TLibraryStatus& status = Unit().Status[ALibrary];
  return status.Handle != nullptr && status.Fixuped;
}

bool TFFLoader::Loaded(TLibraries ALibraries) const {
  if (ALibraries.Empty()) throw std::logic_error("Assertion failed: empty library set (FFLoad)");
  for (TLibrary lib : kLoadOrder)
    if (ALibraries.Contains(lib) && !Loaded(lib)) return false;
  return true;
}

void TFFLoader::Unload(TLibrary ALibrary) { UnloadLibrary(ALibrary); }

void TFFLoader::Unload(TLibraries ALibraries) {
  if (ALibraries.Empty()) throw std::logic_error("Assertion failed: empty library set (FFLoad)");
  for (auto it = kLoadOrder.rbegin(); it != kLoadOrder.rend(); ++it)
    if (ALibraries.Contains(*it)) Unload(*it);
}

// ---------------------------------------------------------------------------

void TInterruptCB::Add(platform::ThreadId AThreadID, void* ASender, TInterruptProc AInterrupt) {
  std::lock_guard lock(FLock);
  for (const TEntry& e : FList)
    if (e.ThreadID == AThreadID && e.ASender == ASender && e.AInterrupt == AInterrupt) return;
  FList.push_back({AThreadID, AInterrupt, ASender});
}

void TInterruptCB::Remove(platform::ThreadId AThreadID, void* ASender, TInterruptProc AInterrupt) {
  std::lock_guard lock(FLock);
  for (auto it = FList.begin(); it != FList.end(); ++it) {
    if (it->ThreadID == AThreadID && it->ASender == ASender && it->AInterrupt == AInterrupt) {
      FList.erase(it);
      return;
    }
  }
}

void TInterruptCB::Clear() {
  std::lock_guard lock(FLock);
  FList.clear();
}

bool TInterruptCB::Interrupt(platform::ThreadId AThreadID) {
  std::lock_guard lock(FLock);
  for (const TEntry& e : FList)
    if (e.ThreadID == AThreadID) return e.AInterrupt(e.ASender);
  return false;
}

std::list<TInterruptCB::TEntry>& TInterruptCB::LockList() {
  FLock.lock();
  return FList;
}

void TInterruptCB::UnlockList() { FLock.unlock(); }

TInterruptCB& InterruptCB() {
  static TInterruptCB registry;
  return registry;
}

int InterruptDispatcher(void* /*opaque*/) {
  return InterruptCB().Interrupt(platform::CurrentThreadId()) ? 1 : 0;
}

AVIOInterruptCB MakeInterruptCB() {
  AVIOInterruptCB cb;
  cb.callback = &InterruptDispatcher;
  cb.opaque = nullptr;
  return cb;
}

}  // namespace media

// av_err2str over the bound av_strerror.
std::string ff::err2str(int errnum) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
  if (ff::av_strerror) ff::av_strerror(errnum, buf, sizeof buf);
  else std::snprintf(buf, sizeof buf, "Error number %d occurred", errnum);
  return buf;
}
