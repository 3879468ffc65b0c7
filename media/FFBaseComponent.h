#pragma once
// The common base of the media components (logger, encoder).

namespace media {

class TFFBaseComponent {
 public:
  TFFBaseComponent() = default;
  TFFBaseComponent(const TFFBaseComponent&) = delete;
  TFFBaseComponent& operator=(const TFFBaseComponent&) = delete;
  virtual ~TFFBaseComponent() = default;
};

}  // namespace media
