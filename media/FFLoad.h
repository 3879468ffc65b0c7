#pragma once
// Loading and binding the media libraries at run time.
//
// TFFLoader opens each library with dlopen (from the LibAV folder beside the
// program when the file is there, by soname through the system's search
// otherwise) and fills the `ff::` variables of FFBindings.h by name. After a
// library is bound the loader does the set-up the rest of the program relies
// on: the log hook for libavutil, network initialisation for libavformat.
//
// TInterruptCB is the per-thread registry of abort procedures. The engine
// installs InterruptDispatcher on every format context it creates (see
// MakeInterruptCB); the library calls it from whichever thread is blocked,
// and only that thread's own procedures decide.

#include <cstdint>
#include <list>
#include <mutex>
#include <string>

#include "platform/Threads.h"

struct AVIOInterruptCB;

namespace media {

// The libraries in enumeration order. avCore is the audio resampling library
// (libswresample); myUtil is the C library.
enum TLibrary : uint8_t { avCodec, avCore, avDevice, avFilter, avFormat, avUtil, swScale, myUtil };
constexpr int kLibraryCount = 8;

// A set of libraries (one bit per TLibrary).
class TLibraries {
 public:
  constexpr TLibraries() = default;
  constexpr TLibraries(std::initializer_list<TLibrary> libs) {
    for (TLibrary l : libs) FBits = static_cast<uint8_t>(FBits | (1u << l));
  }
  constexpr bool Contains(TLibrary l) const { return (FBits >> l) & 1u; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint8_t Bits() const { return FBits; }

 private:
  uint8_t FBits = 0;
};

// Every library except avDevice: what the encoder component and the engine use.
constexpr TLibraries kEncoderLibraries{avCodec, avCore, avFilter, avFormat, avUtil, swScale, myUtil};
// Every library.
constexpr TLibraries kAllLibraries{avCodec, avCore, avDevice, avFilter, avFormat, avUtil, swScale, myUtil};

// File name of a library: "lib" + Name + ".so." + Version ("libavcodec.so.59").
std::string LibraryFileName(TLibrary ALibrary);

// Replaces the composed file name of a library (a bare name or a path);
// empty restores the composed one. Takes effect at the next load.
void SetLibraryFileName(TLibrary ALibrary, const std::string& AName);

// Opens a library: by full path when the directory is not empty and holds the
// file, else by plain name through the system's search. Returns the handle,
// or nullptr with the system's message in AError.
void* LoadLibraryInDir(const std::string& ADirectory, const std::string& AFileName,
                       std::string& AError);

class TFFLoader {
 public:
  TFFLoader(const TFFLoader&) = delete;
  TFFLoader& operator=(const TFFLoader&) = delete;

  bool Load(TLibrary ALibrary);
  // Loads a set in dependency order; at the first failure unloads the whole
  // set and returns false. An empty set is a programming error.
  bool Load(TLibraries ALibraries);
  bool Loaded(TLibrary ALibrary) const;
  bool Loaded(TLibraries ALibraries) const;
  void Unload(TLibrary ALibrary);
  void Unload(TLibraries ALibraries);

  std::string LastErrMsg() const;
  std::string LibraryPath() const;
  void SetLibraryPath(const std::string& APath);
  bool InstallLogger() const { return FInstallLogger; }
  void SetInstallLogger(bool AValue) { FInstallLogger = AValue; }

 private:
  friend TFFLoader& FFLoader();
  TFFLoader() = default;
  bool FInstallLogger = true;
};

// The process-wide loader.
TFFLoader& FFLoader();

// An abort procedure: returns true when the blocked library call on the
// registering thread must give up now.
using TInterruptProc = bool (*)(void* ASender);

class TInterruptCB {
 public:
  struct TEntry {
    platform::ThreadId ThreadID;
    TInterruptProc AInterrupt;
    void* ASender;
  };

  void Add(platform::ThreadId AThreadID, void* ASender, TInterruptProc AInterrupt);
  void Remove(platform::ThreadId AThreadID, void* ASender, TInterruptProc AInterrupt);
  void Clear();
  // The first procedure registered for the thread decides; none: false.
  // It runs while the registry is locked, so it must not call back into it.
  bool Interrupt(platform::ThreadId AThreadID);
  std::list<TEntry>& LockList();
  void UnlockList();

 private:
  std::list<TEntry> FList;
  std::recursive_mutex FLock;
};

// The process-wide interrupt registry.
TInterruptCB& InterruptCB();

// The library's interrupt callback: 1 to abort the calling thread's blocked
// call, 0 to go on.
int InterruptDispatcher(void* opaque);

// The callback to install in every format context's interrupt_callback.
AVIOInterruptCB MakeInterruptCB();

}  // namespace media
