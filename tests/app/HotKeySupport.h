#pragma once
// A hot-key backend that grabs in memory: tests refuse keys and press them.

#include <algorithm>
#include <vector>

#include "platform/HotKeys.h"

namespace apptest {

struct TFakeKeys {
  struct TGrab {
    uint16_t Id;
    uint32_t Mods, Vk;
  };
  std::vector<TGrab> Grabs;
  std::vector<uint32_t> Refused;  // virtual keys the "system" refuses
  std::vector<uint32_t> Registered;  // virtual keys in the order asked for
};

class TFakeHotKeyBackend : public platform::THotKeyBackend {
 public:
  explicit TFakeHotKeyBackend(TFakeKeys& AKeys) : FKeys(AKeys) {}
  bool Register(uint16_t AId, uint32_t AMods, uint32_t AVk) override {
    FKeys.Registered.push_back(AVk);
    if (std::count(FKeys.Refused.begin(), FKeys.Refused.end(), AVk) != 0) return false;
    FKeys.Grabs.push_back({AId, AMods, AVk});
    return true;
  }
  bool Unregister(uint16_t AId) override {
    auto it = std::find_if(FKeys.Grabs.begin(), FKeys.Grabs.end(), [AId](const auto& g) { return g.Id == AId; });
    if (it == FKeys.Grabs.end()) return false;
    FKeys.Grabs.erase(it);
    return true;
  }
  // A press of the grabbed combination of that virtual key and modifiers.
  bool Press(uint32_t AMods, uint32_t AVk) {
    for (const auto& g : FKeys.Grabs) {
      if (g.Mods == AMods && g.Vk == AVk) {
        Pressed(g.Id, g.Mods, g.Vk);
        return true;
      }
    }
    return false;
  }

 private:
  TFakeKeys& FKeys;
};

}  // namespace apptest
