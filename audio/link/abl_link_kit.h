#pragma once
// The sequencer's Link session (engine/seq/link_kit.h) over the Link kit: one
// kit handle per object, made with the sequencer's initial tempo and deleted
// with the object (main thread).
//
// The program passes makeABLLinkKitFactory() as SeqServices::makeLink; the
// main screen reaches the handle behind the sequencer's session with
// ABLLinkHandleOf(seq.linkHandle()) for the kit's settings screen.

#include "audio/link/abl_link.h"
#include "engine/seq/link_kit.h"

class ABLLinkKit final : public LinkKit {
 public:
  ABLLinkKit(double initialTempo, ABLLinkEnvironment environment = {});
  ~ABLLinkKit() override;
  ABLLinkKit(const ABLLinkKit&) = delete;
  ABLLinkKit& operator=(const ABLLinkKit&) = delete;

  bool enabled() override;
  bool hasPeers() override;
  void setAppActive(bool active) override;
  void setSessionTempoCallback(LinkSessionTempoCallback callback, void* context) override;
  LinkSessionState* snapshotAudioState() override;
  // A state that is not this session's audio record is not published.
  void publishAudioState(LinkSessionState* state) override;
  LinkSessionState* snapshotAppState() override;
  // A state that is not this session's app record is not published.
  void publishAppState(LinkSessionState* state) override;

  ABLLink* handle() const { return link_; }

 private:
  ABLLink* link_;
};

// Makes an ABLLinkKit per call, all with the same environment.
LinkKitFactory makeABLLinkKitFactory(ABLLinkEnvironment environment = {});

// The kit handle behind a session made by that factory; null otherwise.
ABLLink* ABLLinkHandleOf(LinkKit* kit);
