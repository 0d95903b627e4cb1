// Several receivers on the application's single idle event, and one-shot idle actions.
// GUI thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/forms.h"

struct TIdleHandlerEntry {
  toolkit::TIdleEvent Handler;
  const void* Owner; // the key for removal only
};

// Owns the application's idle event while at least one handler is registered, and calls the
// handlers, last registered first, each time the application goes idle.
class TIdleEventMulticast : public TObject {
public:
  // Takes over the application's idle event; whatever handler it had is dropped.
  TIdleEventMulticast();
  // Clears the application's idle event and raises IdleGeneration.
  ~TIdleEventMulticast() override;
  const char* ClassName() const override { return "TIdleEventMulticast"; }

  // Calls every handler with the same Done flag, from the last entry to the first; stops
  // touching this object as soon as a handler has destroyed it. A handler's error goes to
  // Application->HandleException and the remaining handlers still run.
  void DispatchIdle(TObject* Sender, bool& Done);

  std::vector<TIdleHandlerEntry> Handlers;
  std::uint32_t Generation;
};

// The multicast while handlers are registered, else null.
TIdleEventMulticast* IdleMulticast();
// Raised by one each time a multicast is destroyed.
std::uint32_t IdleGeneration();

// Registers Handler under the key Owner, creating the multicast on first use.
void AddIdleHandler(const void* Owner, toolkit::TIdleEvent Handler);
// Removes the last entry registered under Owner (one per call; the order of the others may
// change); the last removal destroys the multicast. Unknown owners are ignored.
void RemoveIdleHandler(const void* Owner);

// A component that runs one action at the next idle moment and then frees itself; freeing
// it earlier (with its owner) cancels the action.
class TActionOnIdle : public toolkit::TComponent {
public:
  using TComponent::TComponent;
  ~TActionOnIdle() override;
  const char* ClassName() const override { return "TActionOnIdle"; }
};

// Repaints every visible button control inside Control (itself included), looking into
// visible windowed controls only.
void RepaintButtons(toolkit::TControl* Control);
// Repaints Form's buttons at the next idle moment (after the message being handled).
void RepaintButtonsWhenIdle(toolkit::TForm* Form);
