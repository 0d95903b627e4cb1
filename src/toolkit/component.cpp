#include "toolkit/component.h"

#include <algorithm>

namespace toolkit {

TComponent::TComponent(TComponent* Owner) : Owner_(Owner) {
  if (Owner_) Owner_->Components_.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (Owner_) {
    auto& Siblings = Owner_->Components_;
    Siblings.erase(std::find(Siblings.begin(), Siblings.end(), this));
  }
}

void TComponent::DestroyComponents() {
  // A component may free others as it goes (a parent its children); each one leaves the list
  // itself, so always take whatever is last now rather than walking a stale copy.
  while (!Components_.empty()) {
    TComponent* Last = Components_.back();
    Components_.pop_back();
    Last->Owner_ = nullptr;
    delete Last;
  }
}

} // namespace toolkit
