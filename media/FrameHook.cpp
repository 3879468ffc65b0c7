#include "media/FrameHook.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>

#include "media/FFLog.h"

extern "C" {
#include <libavutil/error.h>
}

namespace media {

struct TFrameHookChain::TFrameHookEntry {
  TFrameHookConfigureFn Configure = nullptr;
  TFrameHookProcessFn Process = nullptr;
  TFrameHookReleaseFn Release = nullptr;
  void* ctx = nullptr;
  // The arguments Configure saw; a module may keep pointers to them.
  std::vector<std::string> Args;
  std::vector<char*> Argv;
};

namespace {

// Loaded modules by the name they were asked for; never unloaded, so the
// handles simply live until the process ends.
struct TModuleCache {
  std::mutex Lock;
  std::map<std::string, void*> Modules;
};

TModuleCache& ModuleCache() {
  static TModuleCache cache;
  return cache;
}

std::filesystem::path ProgramDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

// Opens a module; null with the loader's message in AError.
void* OpenModule(const std::string& AName, std::string& AError) {
  std::vector<std::string> candidates;
  if (AName.find('/') == std::string::npos) {
    const auto dir = ProgramDir();
    if (!dir.empty()) {
      for (const auto& d : {dir, dir / "hooks"}) {
        candidates.push_back((d / AName).string());
        if (!AName.ends_with(".so")) candidates.push_back((d / (AName + ".so")).string());
      }
    }
  }
  for (const auto& file : candidates) {
    if (access(file.c_str(), F_OK) != 0) continue;
    if (void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    const char* text = dlerror();
    AError = text ? text : "Cannot load " + file;
    return nullptr;
  }
  // A path, or a name for the system's search.
  if (void* handle = dlopen(AName.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  const char* text = dlerror();
  AError = text ? text : "Cannot load " + AName;
  return nullptr;
}

}  // namespace

size_t LoadedHookModuleCount() {
  auto& cache = ModuleCache();
  std::lock_guard guard(cache.Lock);
  return cache.Modules.size();
}

TFrameHookChain::TFrameHookChain() = default;
TFrameHookChain::~TFrameHookChain() { Release(); }

int TFrameHookChain::Add(const std::vector<std::string>& AArgs) {
  auto fail = [this](int ACode, std::string AText) {
    GetFFLogger().Log(nullptr, llError, AText + "\n");
    FLastErrMsg = std::move(AText);
    return ACode;
  };
  if (AArgs.empty() || AArgs[0].empty()) return fail(AVERROR(ENOENT), "No frame hook module given");
  const std::string& name = AArgs[0];

  void* module = nullptr;
  {
    auto& cache = ModuleCache();
    std::lock_guard guard(cache.Lock);
    if (auto it = cache.Modules.find(name); it != cache.Modules.end()) {
      module = it->second;
    } else {
      std::string error;
      module = OpenModule(name, error);
      if (!module) return fail(-1, error);
      cache.Modules.emplace(name, module);
    }
  }

  auto entry = std::make_unique<TFrameHookEntry>();
  entry->Configure = reinterpret_cast<TFrameHookConfigureFn>(dlsym(module, "Configure"));
  entry->Process = reinterpret_cast<TFrameHookProcessFn>(dlsym(module, "Process"));
  entry->Release = reinterpret_cast<TFrameHookReleaseFn>(dlsym(module, "Release"));
  if (!entry->Process) return fail(AVERROR(ENOENT), "Failed to find Process entrypoint in " + name);
  if (!entry->Configure && AArgs.size() > 1)
    return fail(AVERROR(ENOENT), "Failed to find Configure entrypoint in " + name);
  if (entry->Configure) {
    entry->Args = AArgs;
    for (auto& arg : entry->Args) entry->Argv.push_back(arg.data());
    entry->Argv.push_back(nullptr);
    if (entry->Configure(&entry->ctx, static_cast<int>(entry->Args.size()), entry->Argv.data()) != 0) {
      // Whatever the module set up before it gave up is its own to free.
      if (entry->ctx && entry->Release) entry->Release(entry->ctx);
      return fail(AVERROR(EINVAL), "Failed to Configure " + name);
    }
  }
  FEntries.push_back(std::move(entry));
  return 0;
}

void TFrameHookChain::Process(TAVPicture* APicture, int APixFmt, int AWidth, int AHeight,
                              int64_t APts) {
  for (const auto& entry : FEntries) entry->Process(entry->ctx, APicture, APixFmt, AWidth, AHeight, APts);
}

void TFrameHookChain::Release() {
  for (const auto& entry : FEntries)
    if (entry->Release) entry->Release(entry->ctx);
  FEntries.clear();
}

}  // namespace media
