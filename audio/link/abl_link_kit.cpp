#include "audio/link/abl_link_kit.h"

#include "audio/link/abl_link_object.h"

ABLLinkKit::ABLLinkKit(double initialTempo, ABLLinkEnvironment environment)
    : link_(ABLLinkNewWithEnvironment(initialTempo, std::move(environment))) {}

ABLLinkKit::~ABLLinkKit() { ABLLinkDelete(link_); }

bool ABLLinkKit::enabled() { return ABLLinkEnabled(link_); }

bool ABLLinkKit::hasPeers() { return ABLLinkHasPeers(link_); }

void ABLLinkKit::setAppActive(bool active) { ABLLinkSetAppActive(link_, active); }

void ABLLinkKit::setSessionTempoCallback(LinkSessionTempoCallback callback, void* context) {
  ABLLinkSetSessionTempoCallback(link_, callback, context);
}

LinkSessionState* ABLLinkKit::snapshotAudioState() { return ABLLinkSnapshotAudioState(link_); }

void ABLLinkKit::publishAudioState(LinkSessionState* state) {
  if (state != &link_->audioState) return;
  ABLLinkPublishAudioState(link_, &link_->audioState);
}

LinkSessionState* ABLLinkKit::snapshotAppState() { return ABLLinkSnapshotAppState(link_); }

void ABLLinkKit::publishAppState(LinkSessionState* state) {
  if (state != &link_->appState) return;
  ABLLinkPublishAppState(link_, &link_->appState);
}

LinkKitFactory makeABLLinkKitFactory(ABLLinkEnvironment environment) {
  return [environment](double initialTempo) -> std::unique_ptr<LinkKit> {
    return std::make_unique<ABLLinkKit>(initialTempo, environment);
  };
}

ABLLink* ABLLinkHandleOf(LinkKit* kit) {
  auto* abl = dynamic_cast<ABLLinkKit*>(kit);
  return abl ? abl->handle() : nullptr;
}
