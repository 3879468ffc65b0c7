// The process's atom table: one identifier per name for as long as someone
// holds a reference, so the same hot key keeps the same identifier.
#include <map>
#include <mutex>

#include "platform/HotKeys.h"

namespace platform {

namespace {

constexpr uint32_t kFirstAtom = 0xC000;
constexpr uint32_t kLastAtom = 0xFFFF;

struct TAtomTable {
  std::mutex Lock;
  std::map<std::string, std::pair<uint16_t, int>> ByName;  // name -> (atom, references)
  std::map<uint16_t, std::string> ByAtom;
};

TAtomTable& Table() {
  static TAtomTable table;
  return table;
}

}  // namespace

uint16_t AddAtom(const std::string& AName) {
  TAtomTable& t = Table();
  std::lock_guard guard(t.Lock);
  if (auto it = t.ByName.find(AName); it != t.ByName.end()) {
    ++it->second.second;
    return it->second.first;
  }
  // The lowest free identifier.
  uint32_t atom = kFirstAtom;
  for (const auto& [used, name] : t.ByAtom) {
    if (used != atom) break;
    ++atom;
  }
  if (atom > kLastAtom) return 0;
  t.ByName.emplace(AName, std::make_pair(uint16_t(atom), 1));
  t.ByAtom.emplace(uint16_t(atom), AName);
  return uint16_t(atom);
}

void DeleteAtom(uint16_t AAtom) {
  TAtomTable& t = Table();
  std::lock_guard guard(t.Lock);
  auto at = t.ByAtom.find(AAtom);
  if (at == t.ByAtom.end()) return;
  auto it = t.ByName.find(at->second);
  if (--it->second.second > 0) return;
  t.ByName.erase(it);
  t.ByAtom.erase(at);
}

uint16_t FindAtom(const std::string& AName) {
  TAtomTable& t = Table();
  std::lock_guard guard(t.Lock);
  auto it = t.ByName.find(AName);
  return it == t.ByName.end() ? 0 : it->second.first;
}

}  // namespace platform
