#pragma once
// Frame hooks: external modules (FrameHookApi.h) that change each video
// picture of a conversion in place.
//
// Each engine keeps its own chain of hooks; the modules themselves are
// loaded once per process (a cache keyed by the name given) and never
// unloaded. A bare module name is looked up beside the program first
// (<program dir>/, then <program dir>/hooks/, each also with ".so"
// appended), then through the system's library search.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/FrameHookApi.h"

namespace media {

class TFrameHookChain {
 public:
  TFrameHookChain();
  ~TFrameHookChain();  // releases the hooks
  TFrameHookChain(const TFrameHookChain&) = delete;
  TFrameHookChain& operator=(const TFrameHookChain&) = delete;

  // Loads the module AArgs[0] (from the cache when loaded before), configures
  // a hook with the arguments and appends it. Returns 0; -1 when the module
  // cannot be loaded; AVERROR(ENOENT) for no arguments or a missing entry
  // point; AVERROR(EINVAL) when Configure fails. Failures are logged at error
  // level (LastErrMsg holds the text) and leave the chain unchanged.
  int Add(const std::vector<std::string>& AArgs);
  // Runs every hook's Process in order on the picture.
  void Process(TAVPicture* APicture, int APixFmt, int AWidth, int AHeight, int64_t APts);
  // Calls every hook's Release and empties the chain.
  void Release();

  bool Empty() const { return FEntries.empty(); }
  size_t Count() const { return FEntries.size(); }
  const std::string& LastErrMsg() const { return FLastErrMsg; }

 private:
  struct TFrameHookEntry;
  std::vector<std::unique_ptr<TFrameHookEntry>> FEntries;
  std::string FLastErrMsg;
};

inline int AddFrameHook(TFrameHookChain& AChain, const std::vector<std::string>& AArgs) {
  return AChain.Add(AArgs);
}
inline void ProcessFrameHooks(TFrameHookChain& AChain, TAVPicture* APicture, int APixFmt,
                              int AWidth, int AHeight, int64_t APts) {
  AChain.Process(APicture, APixFmt, AWidth, AHeight, APts);
}
inline void ReleaseFrameHooks(TFrameHookChain& AChain) { AChain.Release(); }

// Number of distinct modules loaded by this process so far.
size_t LoadedHookModuleCount();

}  // namespace media
