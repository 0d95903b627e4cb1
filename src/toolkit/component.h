// TComponent: the ownership tree. An owner frees the components it owns, the newest first.
#pragma once

#include <string>
#include <vector>

#include "support/object.h"

namespace toolkit {

class TComponent : public TObject {
public:
  // Joins Owner's list when Owner is not null; the owner then frees this component.
  explicit TComponent(TComponent* Owner);
  // Leaves the owner's list and frees every owned component, the last created first.
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  const char* ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return Owner_; }
  int ComponentCount() const { return static_cast<int>(Components_.size()); }
  // The owned component at Index in creation order; Index must be below ComponentCount().
  TComponent* Components(int Index) const { return Components_.at(Index); }

  std::string Name;
  int Tag = 0;

protected:
  // Frees the owned components now, the last created first. Classes whose owned components
  // refer back into them call this from their own destructor, before their state is gone.
  void DestroyComponents();

private:
  TComponent* Owner_;
  std::vector<TComponent*> Components_;
};

// Frees Component (which leaves its owner) and sets the pointer to null; null does nothing.
template <typename T> void FreeAndNil(T*& Component) {
  T* Doomed = Component;
  Component = nullptr;
  delete Doomed;
}

} // namespace toolkit
