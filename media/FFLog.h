#pragma once
// The process-wide media logger.
//
// Everything the media libraries and the program's own media code have to
// say goes through one TFFLogger: it hooks the library's log callback,
// assembles fragments into whole lines per thread, suppresses immediately
// repeated lines, filters by level and hands each line to OnLog, by default
// on the UI thread (platform/UiHandOver.h).

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "media/FFBaseComponent.h"
#include "platform/Threads.h"

namespace media {

enum TLogLevel : int { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// Library level of a TLogLevel: 8 * index - 8.
constexpr int LibraryLevel(TLogLevel ALevel) { return 8 * static_cast<int>(ALevel) - 8; }
// TLogLevel of a library level: level / 8 + 1 (truncating), clamped.
TLogLevel LogLevelOf(int ALibraryLevel);

struct TLogInfo {
  void* Sender = nullptr;
  platform::ThreadId ThreadID = 0;
  TLogLevel LogLevel = llInfo;
  std::string LogMsg;
};

using TLogEvent = std::function<void(void* Sender, platform::ThreadId AThreadID,
                                     TLogLevel ALogLevel, const std::string& ALogMsg)>;

class TFFLogger : public TFFBaseComponent {
 public:
  // The application's logger. Replaces an auto-created one; a second
  // application-created instance is a programming error (std::logic_error).
  TFFLogger();
  ~TFFLogger() override;

  TLogLevel LogLevel() const { return FLogLevel; }
  // Stores the level and applies it to the library's threshold.
  void SetLogLevel(TLogLevel AValue);
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool AValue) { FTriggerEventInMainThread = AValue; }
  void SetOnLog(TLogEvent AEvent);
  bool HasOnLog() const;

  // Sets LogLevel from a level name ("quiet" ... "debug", any case) or a
  // library level number; anything else throws std::invalid_argument.
  void OptLogLevel(const std::string& S);

  // Delivers a line of the program's own code when ALogLevel passes LogLevel
  // (llVerbose passes unless LogLevel is llQuiet).
  void Log(void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg);
  // The same with printf-style formatting of AFormat with the arguments.
  void LogFmt(void* Sender, TLogLevel ALogLevel, const char* AFormat, ...)
      __attribute__((format(printf, 4, 5)));
  void LogV(void* Sender, TLogLevel ALogLevel, const char* AFormat, va_list AArgs);

  // Delivers a complete line (used by the library hook).
  void Emit(platform::ThreadId AThreadID, int ALibraryLevel, const std::string& ALine);

 private:
  struct AutoCreated {};
  explicit TFFLogger(AutoCreated);
  friend TFFLogger& GetFFLogger();

  void Deliver(const TLogInfo& AInfo);

  bool FAutoCreated = false;
  std::atomic<bool> FTriggerEventInMainThread{true};
  std::atomic<TLogLevel> FLogLevel{llInfo};
  TLogInfo FLogInfo;  // the event being delivered
  TLogEvent FOnLog;
  mutable std::mutex FOnLogLock;
  std::recursive_mutex FDeliverLock;
};

// The process-wide logger; creates one (auto-created) when there is none.
TFFLogger& GetFFLogger();
// The process-wide logger, or nullptr.
TFFLogger* CurrentFFLogger();

// Installs AVLogCallback as the library's log callback and applies the level.
// Requires libavutil to be bound.
void InstallAVLogCallback();
// Gives the library its default callback back (before it is unloaded).
void UninstallAVLogCallback();

// The library's log callback.
void AVLogCallback(void* AContext, int ALevel, const char* AFormat, va_list AArgs);

// Creates the logger's process-wide state (line list, lock, threshold) if it
// does not exist yet; it then lives until the process ends.
void EnsureLoggerUnit();

}  // namespace media
