#include "toolkit/idle_events.h"

#include <utility>

using namespace toolkit;

namespace {

TIdleEventMulticast* Multicast = nullptr;
std::uint32_t Generation = 0;

// Unloading the library takes the multicast down with it, releasing the idle event.
struct TUnload {
  ~TUnload() { delete std::exchange(Multicast, nullptr); }
} Unload;

} // namespace

TIdleEventMulticast* IdleMulticast() { return Multicast; }
std::uint32_t IdleGeneration() { return Generation; }

TIdleEventMulticast::TIdleEventMulticast() : Generation(::Generation) {
  Application->OnIdle = [this](TObject* Sender, bool& Done) { DispatchIdle(Sender, Done); };
}

TIdleEventMulticast::~TIdleEventMulticast() {
  Application->OnIdle = nullptr;
  ++::Generation;
}

void TIdleEventMulticast::DispatchIdle(TObject* Sender, bool& Done) {
  const std::uint32_t Mine = Generation;
  for (int I = static_cast<int>(Handlers.size()) - 1; I >= 0; --I) {
    // Only the global counter may be read before we know this object still exists.
    if (::Generation != Mine) return;
    if (I >= static_cast<int>(Handlers.size())) continue;
    // A copy: the handler may remove its own entry, which overwrites or frees the original.
    const TIdleEvent Handler = Handlers[I].Handler;
    // One receiver's error is reported on its own and does not cost the others their turn.
    Dispatch(Sender, [&] { Handler(Sender, Done); });
  }
}

void AddIdleHandler(const void* Owner, TIdleEvent Handler) {
  if (!Multicast) Multicast = new TIdleEventMulticast;
  Multicast->Handlers.push_back({std::move(Handler), Owner});
}

void RemoveIdleHandler(const void* Owner) {
  if (!Multicast) return;
  auto& List = Multicast->Handlers;
  for (int I = static_cast<int>(List.size()) - 1; I >= 0; --I) {
    if (List[I].Owner != Owner) continue;
    List[I] = std::move(List.back());
    List.pop_back();
    break;
  }
  if (List.empty()) delete std::exchange(Multicast, nullptr);
}

TActionOnIdle::~TActionOnIdle() { RemoveIdleHandler(this); }

void RepaintButtons(TControl* Control) {
  auto* Win = dynamic_cast<TWinControl*>(Control);
  if (!Win || !Win->Visible()) return;
  if (dynamic_cast<TButtonControl*>(Win)) return Win->Repaint();
  for (int I = 0; I < Win->ControlCount(); ++I) RepaintButtons(Win->Controls(I));
}

void RepaintButtonsWhenIdle(TForm* Form) {
  auto* Action = new TActionOnIdle(Form);
  AddIdleHandler(Action, [Action](TObject*, bool&) {
    // The action goes even when the repaint fails; going, it unregisters itself.
    struct TFree {
      TActionOnIdle* Action;
      ~TFree() { delete Action; }
    } Free{Action};
    RepaintButtons(static_cast<TForm*>(Action->Owner()));
  });
}
