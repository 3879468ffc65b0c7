#include "media/FFLog.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <vector>

#include "media/FFBindings.h"
#include "platform/UiHandOver.h"

namespace media {
namespace {

// A thread's unfinished line.
struct TLogItem {
  platform::ThreadId ThreadID;
  std::string LogMsg;
};

// Process-wide state of the logger.
struct LogUnit {
  std::mutex Assembly;             // guards Items, Previous, RepeatCount
  std::vector<TLogItem> Items;     // newest first
  std::string Previous;
  int RepeatCount = 0;
  std::atomic<int> Threshold{32};  // library level threshold

  std::recursive_mutex InstanceLock;
  TFFLogger* Instance = nullptr;
  std::unique_ptr<TFFLogger> AutoCreatedInstance;

  ~LogUnit() {
    std::unique_ptr<TFFLogger> autoCreated;
    {
      std::lock_guard lock(InstanceLock);
      autoCreated = std::move(AutoCreatedInstance);
    }
  }
};

LogUnit& Unit() {
  static LogUnit unit;
  return unit;
}

const char* const kLevelNames[] = {"quiet", "panic",   "fatal",   "error",
                                   "warning", "info", "verbose", "debug"};

std::string FormatV(const char* AFormat, va_list AArgs) {
  char small[512];
  va_list copy;
  va_copy(copy, AArgs);
  const int n = std::vsnprintf(small, sizeof small, AFormat, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string s(static_cast<size_t>(n), '\0');
  va_copy(copy, AArgs);
  std::vsnprintf(s.data(), s.size() + 1, AFormat, copy);
  va_end(copy);
  return s;
}

// "[name @ address]" of a library context, bounded by the space left.
void AppendPrefix(char* buf, size_t size, size_t& used, const char* fmt, void* ctx) {
  if (used >= size) return;
  const AVClass* avc = *static_cast<const AVClass* const*>(ctx);
  const char* name = avc && avc->item_name ? avc->item_name(ctx) : nullptr;
  const int n = std::snprintf(buf + used, size - used, fmt, name ? name : "NULL", ctx);
  if (n > 0) used = std::min(size - 1, used + static_cast<size_t>(n));
}

}  // namespace

void EnsureLoggerUnit() { Unit(); }

TLogLevel LogLevelOf(int ALibraryLevel) {
  const int index = ALibraryLevel / 8 + 1;
  return static_cast<TLogLevel>(std::clamp(index, static_cast<int>(llQuiet), static_cast<int>(llDebug)));
}

TFFLogger::TFFLogger() {
  LogUnit& unit = Unit();
  std::unique_ptr<TFFLogger> replaced;
  {
    std::lock_guard lock(unit.InstanceLock);
    if (unit.AutoCreatedInstance) {
      replaced = std::move(unit.AutoCreatedInstance);
      unit.Instance = nullptr;
    }
    if (unit.Instance)
      throw std::logic_error("Allow creating only one instance of TFFLogger. (FFLog)");
    FLogLevel = LogLevelOf(unit.Threshold);
    unit.Instance = this;
  }
}

TFFLogger::TFFLogger(AutoCreated) : FAutoCreated(true) {
  FLogLevel = LogLevelOf(Unit().Threshold);
}

TFFLogger::~TFFLogger() {
  LogUnit& unit = Unit();
  std::lock_guard lock(unit.InstanceLock);
  if (unit.Instance == this) unit.Instance = nullptr;
}

TFFLogger& GetFFLogger() {
  LogUnit& unit = Unit();
  std::lock_guard lock(unit.InstanceLock);
  if (!unit.Instance) {
    unit.AutoCreatedInstance.reset(new TFFLogger(TFFLogger::AutoCreated{}));
    unit.Instance = unit.AutoCreatedInstance.get();
  }
  return *unit.Instance;
}

TFFLogger* CurrentFFLogger() {
  LogUnit& unit = Unit();
  std::lock_guard lock(unit.InstanceLock);
  return unit.Instance;
}

void TFFLogger::SetLogLevel(TLogLevel AValue) {
  if (AValue == FLogLevel) return;
  FLogLevel = AValue;
  Unit().Threshold = LibraryLevel(AValue);
  if (ff::av_log_set_level) ff::av_log_set_level(LibraryLevel(AValue));
}

void TFFLogger::SetOnLog(TLogEvent AEvent) {
  std::lock_guard lock(FOnLogLock);
  FOnLog = std::move(AEvent);
}

bool TFFLogger::HasOnLog() const {
  std::lock_guard lock(FOnLogLock);
  return static_cast<bool>(FOnLog);
}

void TFFLogger::OptLogLevel(const std::string& S) {
  std::string lower = S;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (int i = 0; i <= llDebug; ++i) {
    if (lower == kLevelNames[i]) {
      SetLogLevel(static_cast<TLogLevel>(i));
      return;
    }
  }
  // Strict integer conversion: the whole text must be a number.
  size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(S, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != S.size())
    throw std::invalid_argument("'" + S + "' is not a valid integer value");
  SetLogLevel(LogLevelOf(value));
}

void TFFLogger::Log(void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg) {
  const TLogLevel level = FLogLevel;
  if (!HasOnLog()) return;
  if (ALogLevel <= level || (ALogLevel == llVerbose && level != llQuiet))
    Deliver({Sender, platform::CurrentThreadId(), ALogLevel, ALogMsg});
}

void TFFLogger::LogFmt(void* Sender, TLogLevel ALogLevel, const char* AFormat, ...) {
  va_list args;
  va_start(args, AFormat);
  LogV(Sender, ALogLevel, AFormat, args);
  va_end(args);
}

void TFFLogger::LogV(void* Sender, TLogLevel ALogLevel, const char* AFormat, va_list AArgs) {
  Log(Sender, ALogLevel, FormatV(AFormat, AArgs));
}

void TFFLogger::Emit(platform::ThreadId AThreadID, int ALibraryLevel, const std::string& ALine) {
  if (!HasOnLog()) return;
  Deliver({this, AThreadID, LogLevelOf(ALibraryLevel), ALine});
}

void TFFLogger::Deliver(const TLogInfo& AInfo) {
  TLogEvent handler;
  {
    std::lock_guard lock(FOnLogLock);
    handler = FOnLog;
  }
  if (!handler) return;
  // Filling FLogInfo and running the handler are one step per message: on
  // the UI thread the hand-over serialises them, elsewhere the delivery lock.
  auto deliver = [this, &AInfo, &handler] {
    std::lock_guard lock(FDeliverLock);
    FLogInfo = AInfo;
    const TLogInfo info = FLogInfo;
    handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
  };
  if (FTriggerEventInMainThread) platform::ui::RunOnUiThread(deliver);
  else deliver();
}

void InstallAVLogCallback() {
  if (!ff::av_log_set_callback || !ff::av_log_set_level)
    throw std::logic_error("Assertion failed: av_log_set_callback not bound (FFLog)");
  GetFFLogger();
  ff::av_log_set_callback(&AVLogCallback);
  ff::av_log_set_level(Unit().Threshold);
}

void UninstallAVLogCallback() {
  if (ff::av_log_set_callback && ff::av_log_default_callback)
    ff::av_log_set_callback(ff::av_log_default_callback);
}

void AVLogCallback(void* AContext, int ALevel, const char* AFormat, va_list AArgs) {
  LogUnit& unit = Unit();
  if (ALevel > unit.Threshold) return;

  const platform::ThreadId tid = platform::CurrentThreadId();
  std::vector<std::string> lines;
  {
    std::lock_guard lock(unit.Assembly);
    auto item = std::find_if(unit.Items.begin(), unit.Items.end(),
                             [tid](const TLogItem& i) { return i.ThreadID == tid; });
    if (item == unit.Items.end()) {
      unit.Items.insert(unit.Items.begin(), TLogItem{tid, {}});
      item = unit.Items.begin();
    }

    char buf[2048];
    size_t used = 0;
    buf[0] = '\0';
    if (AContext && item->LogMsg.empty()) {
      const AVClass* avc = *static_cast<const AVClass* const*>(AContext);
      if (avc && avc->version >= 0x320F03 && avc->parent_log_context_offset) {
        void* parent = *reinterpret_cast<void**>(static_cast<uint8_t*>(AContext) +
                                                 avc->parent_log_context_offset);
        if (parent && *static_cast<const AVClass* const*>(parent))
          AppendPrefix(buf, sizeof buf, used, "[%s @ %p] ", parent);
      }
      AppendPrefix(buf, sizeof buf, used, "[%s @ %p]", AContext);
    }

    std::string text(buf, used);
    va_list copy;
    va_copy(copy, AArgs);
    const int n = std::vsnprintf(buf + used, sizeof buf - used, AFormat, copy);
    va_end(copy);
    if (n >= 0 && used + static_cast<size_t>(n) < sizeof buf) {
      text.append(buf + used, static_cast<size_t>(n));
    } else if (n >= 0) {
      // Too long for the line buffer: format on the heap, growing it until
      // the whole message fits.
      size_t size = 4096;
      while (size <= static_cast<size_t>(n)) size += 2048;
      std::vector<char> heap(size);
      va_copy(copy, AArgs);
      const int m = std::vsnprintf(heap.data(), heap.size(), AFormat, copy);
      va_end(copy);
      if (m > 0) text.append(heap.data(), std::min(static_cast<size_t>(m), heap.size() - 1));
    }

    if (!text.empty() && text.back() == '\n' && text == unit.Previous) {
      ++unit.RepeatCount;
      return;
    }
    if (unit.RepeatCount > 0) {
      lines.push_back("    Last message repeated " + std::to_string(unit.RepeatCount) + " times");
      unit.RepeatCount = 0;
    }
    unit.Previous = text;
    item->LogMsg += text;
    for (size_t p; (p = item->LogMsg.find('\n')) != std::string::npos;) {
      lines.push_back(item->LogMsg.substr(0, p));
      item->LogMsg.erase(0, p + 1);
    }
  }
  // Delivered after the lock is released: the UI thread may itself be logging.
  if (lines.empty()) return;
  if (TFFLogger* logger = CurrentFFLogger())
    for (const std::string& line : lines) logger->Emit(tid, ALevel, line);
}

}  // namespace media
