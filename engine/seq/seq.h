#pragma once
// The step sequencer and transport.
//
// The engine owns one Seq and calls process() once per render slice. Seq plays
// the pattern's trigger rows and motion sequences, switches patterns, follows
// MIDI clock or a Link session, and reports everything through SeqListener.
//
// Threads
// - Render thread: process(), checkLinkState() and every SeqListener call.
//   Nothing on that path allocates, blocks, or touches a file.
// - Posting operations (play, changePattern, midiClock, ...) may run on any
//   thread except the render thread. They append a time-stamped command under
//   the command mutex and may wait for it; the render thread only try-locks
//   that mutex to move new commands into its own fixed-capacity queue, and
//   executes them there without a lock, in (time, code, posting) order. A
//   command that cannot be taken in this slice (mutex busy) is taken in the
//   next one.
// - Parameter, step and motion edits and the queries run on any thread: the
//   data they touch are atomics, and the motion tracks are a fixed table of
//   one track per ParamId, never reallocated or deleted.
//
// Pattern changes (commands 3, 4, 5). The posting operation fetches the
// record with DataProvider::patternAt on the posting thread and parks it in a
// slot that travels with the command. When the pending pattern loads (on the
// render thread), Seq calls SeqListener::loadPattern(index, whilePlaying); for
// the duration of that call recordToLoad() points at the fetched record, and
// the listener copies it instead of asking the DataProvider. The pointer is
// null outside the call. Consequently a program change is resolved when it is
// posted: the bank select in force then (setBankSelectMsb/Lsb) picks the
// pattern, so whoever posts program changes must apply bank selects on the
// same thread, in arrival order, before posting.
//
// The library may change a number's record while a change to it waits (for
// its change point, or for its time). A save or an init of that number
// fetches the record again and sends it after the change (refreshPattern);
// a move renumbers every waiting change at once, on the main thread
// (renumberPatterns), so that the number a load reports is the record's
// number at that moment; a replaced library drops every waiting change
// (cancelPatternChanges).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/interfaces/audio_io.h"
#include "engine/interfaces/data_provider.h"
#include "engine/interfaces/seq_listener.h"
#include "engine/record/param_id.h"
#include "engine/record/pattern_record.h"
#include "engine/seq/clock_tempo_tracker.h"
#include "engine/seq/host_clock.h"
#include "engine/seq/link_kit.h"
#include "engine/seq/pattern_position.h"
#include "engine/seq/seq_command.h"
#include "engine/seq/seq_tracks.h"
#include "engine/seq/step_clock.h"
#include "platform/foundation/spin_try_lock.h"

// What the sequencer needs from the rest of the system.
struct SeqServices {
  // "Now" for the stamps Seq makes itself; null = the platform host time.
  HostClock* clock = nullptr;
  // Makes the MIDI clock tempo tracker; empty = no tracker (the followed
  // MIDI clock tempo then stays where it is).
  ClockTempoTrackerFactory makeClockTracker;
  // Makes the Link session handle; empty = Link is not available.
  LinkKitFactory makeLink;
  // The "Pattern Change Grid" setting, 0-7, read on the render thread (an
  // atomic read); empty = 0.
  std::function<int32_t()> patternChangeGrid;
};

class Seq {
 public:
  static constexpr uint32_t kPpqn = 480;
  // Commands the render thread holds at once; more wait with the poster.
  static constexpr size_t kQueueCapacity = 1024;
  // The slice that passes while a renumbering holds off a change point:
  // short, so that the change is late by little more than the renumbering.
  static constexpr int32_t kHeldChangeSliceFrames = 64;


  Seq(SeqListener* listener, float sampleRate, SeqServices services = {});
  ~Seq();
  Seq(const Seq&) = delete;
  Seq& operator=(const Seq&) = delete;

  // --- Posting (any thread but the render thread) -------------------------
  void selectPatternSet(uint64_t time, uint32_t high, uint32_t low);
  void setPatternSetMode(bool on);
  // Posted only while the bank select MSB is 0 and program + 128 × LSB is a
  // stored pattern; returns whether it was.
  bool programChange(uint64_t time, uint32_t program);
  // Returns the index when posted, else the last requested pattern.
  int32_t changePatternSilently(int32_t index);
  // Returns whether the change was posted (0 <= index < number of patterns).
  bool changePattern(uint64_t time, int32_t index);
  void setRecording(uint64_t time, bool on);
  void midiStart(uint64_t time);
  void midiStop(uint64_t time);
  void midiClock(uint64_t time);
  void externalClockLost();
  void startForBounce(uint64_t time);
  void play(uint64_t time);
  void stopPlayback(uint64_t time);
  void stopFromUi(uint64_t time);
  void setLoop(uint64_t time, bool on);
  void linkStart(uint64_t time);
  void linkStop(uint64_t time);

  // --- Pattern provider ---------------------------------------------------
  // Where pattern changes fetch their records and the pattern count comes
  // from. Set it before the first change; it must outlive the Seq.
  void setDataProvider(DataProvider* provider) { provider_.store(provider, std::memory_order_release); }
  // The record of the pattern being loaded, valid only inside
  // SeqListener::loadPattern; null elsewhere.
  const PatternRecord* recordToLoad() const { return recordToLoad_; }

  // --- Library changes (main thread) ----------------------------------------
  // Pattern `index` was saved or initialized: every change to it that waits
  // plays the library's record from now on (read here, taken by the render
  // side at its next slice).
  void refreshPattern(int32_t index);
  // Pattern `from` was moved to `to`: every waiting change, and the number
  // last asked for, take their record's new number now.
  void renumberPatterns(int32_t from, int32_t to);
  // The same for any renumbering: a waiting change numbered n takes
  // `numberOf(n)`.
  // alsoLocked runs first under the same lock (the owner's own copy of the
  // playing number), so the render side sees all of them renumbered or none.
  void renumberPatterns(const std::function<int32_t(int32_t)>& numberOf,
                        const std::function<void()>& alsoLocked = {});
  // The library's numbers hold other records now: every change asked for
  // so far is dropped at the render side's next slice; the number last
  // asked for becomes `current`, renumbered with the waiting changes by any
  // renumbering that comes before that slice.
  void cancelPatternChanges(int32_t current);

  // --- Test seams (never on the render thread) ------------------------------
  // Holds the renumbering lock as a move or sort does, until the guard goes:
  // the render side then meets a renumbering in progress.
  std::unique_lock<platform::SpinTryLock> holdRenumberingForTesting() {
    return std::unique_lock<platform::SpinTryLock>(renumberLock_);
  }
  // Called by runPostedCommands when it finds a renumbering running and is
  // about to wait for it (set before the bounce starts).
  void setRenumberingWaitHookForTesting(std::function<void()> hook) { renumberingWaitHook_ = std::move(hook); }

  // --- Parameters (any thread) ----------------------------------------------
  int32_t param(int32_t index) const;
  int32_t setParam(int32_t index, int32_t value);
  // Default parameters, accent on every step, no triggers, no motion tracks.
  void resetParams();
  void setPatternTempo(int32_t tempo) { patternTempo_.store(tempo, std::memory_order_relaxed); }
  int32_t patternTempo() const { return patternTempo_.load(std::memory_order_relaxed); }
  // Tenths of BPM: "BPM" on the internal clock; the Link session tempo of the
  // last render-thread capture while Link leads; else the followed clock.
  int32_t currentTempo() const;
  // The pattern last asked for by a pattern change.
  int32_t pendingPattern() const { return requestedPattern_.load(std::memory_order_relaxed); }
  void setBankSelectMsb(uint32_t value) { bankSelectMsb_.store(value, std::memory_order_relaxed); }
  void setBankSelectLsb(uint32_t value) { bankSelectLsb_.store(value, std::memory_order_relaxed); }
  // Off-line bounce: the render side switches over at the start of the next
  // process() (the live render may still be in its last buffer meanwhile).
  void beginBounce();
  void endBounce();
  // Render side, on the bounce's thread once no live render can run: runs
  // every command posted so far that is due by now and, stopped, loads a
  // pending pattern, as the next live buffer would have. A stop or a pattern change
  // asked for just before a bounce is thereby settled before the bounce
  // starts the sequencer, instead of sorting among the bounce's own
  // commands (a stop would run after the bounce's start and silence it).
  // Timed commands due later stay queued for the live output. A renumbering
  // that runs meanwhile is waited for (this thread may block; the audio
  // thread is held off), so that the change is settled under its new
  // number. The renumbering lock is held through the listener's callbacks
  // for these commands: none of them may move or sort the library on this
  // thread.
  void runPostedCommands();

  // --- Tracks and steps (any thread) ----------------------------------------
  void setTriggerStep(int32_t part, int32_t step, bool on);
  bool triggerStep(int32_t part, int32_t step) const;
  void shiftTriggerSteps(int32_t part, int32_t offset);
  // The motion track of a parameter: its index is the ParamId itself. An
  // inactive track is re-activated, a missing one comes into being. -1 and
  // other identifiers outside 0-139 have no track: the answer is -1.
  int32_t motionTrackFor(ParamId id);
  void setMotionStep(int32_t track, int32_t step, bool trigger, int32_t value);
  uint8_t motionStep(int32_t track, int32_t step) const;
  void shiftMotionSteps(int32_t track, int32_t offset);
  void clearMotionTrack(int32_t track);
  void motionRecordStart(int32_t track);
  void motionRecordEnd(int32_t track);
  // The table size (140); motionTrackParamId is the index for a track that
  // exists and -1 for one that does not.
  int32_t motionTrackCount() const { return kNumParamIds; }
  ParamId motionTrackParamId(int32_t track) const;
  void setAccentStep(int32_t step, bool on);
  bool accentStep(int32_t step) const;
  void shiftAccentSteps(int32_t offset);
  void startStepJump(int32_t step, bool on) { position_.setJumpStep(step, on); }
  void endStepJump() { position_.clearJumpSteps(); }

  // --- Render thread --------------------------------------------------------
  // One slice starting at `offset` frames into the render call; returns how
  // many frames can be rendered before the next sequencer boundary.
  int32_t process(AudioIO* io, int32_t offset, int32_t frames);
  // Once per render call, before the slices.
  void checkLinkState(AudioIO* io);

  // --- Link (main thread unless said otherwise) -----------------------------
  bool isLinkAvailable() const { return link_ != nullptr; }
  bool isLinkEnabled() const;    // any thread
  bool isLinkConnected() const;  // any thread
  double linkTempo();
  void setTempoLink(uint64_t hostTime, double bpm);
  int64_t linkTick() const { return linkTick_.load(std::memory_order_relaxed); }
  float linkPhase() const { return linkPhase_.load(std::memory_order_relaxed); }
  void suspendLink();
  void resumeLink();
  LinkKit* linkHandle() const { return link_.get(); }

  // --- Queries (any thread) -------------------------------------------------
  // Play position of part 0's track in half steps, 0-127.
  int32_t currentHalfStep() const { return halfStep_.load(std::memory_order_relaxed); }
  bool isBeatLit() const;
  // The unswung pattern length from the current parameters.
  int32_t patternLengthInFrames() const;
  bool isPlaying() const { return playing_.load(std::memory_order_relaxed); }
  bool isInternalClock() const { return internalClock_.load(std::memory_order_relaxed); }
  bool isLoop() const { return loop_.load(std::memory_order_relaxed); }
  float sampleRate() const { return sampleRate_; }

  // --- Inspection for the render thread's own tests -------------------------
  const PatternPosition& position() const { return position_; }
  const TriggerTrack& triggerTrack(int32_t part) const { return triggers_[part]; }
  const MotionTrack& motionTrack(int32_t track) const { return motion_[track]; }
  const StepClock& stepClock() const { return stepClock_; }

 private:
  // A fetched record travelling from a posting thread to the render thread.
  struct PatternSlot {
    std::atomic<bool> inUse{false};
    // The record's number; a move renumbers it while the slot is in use.
    std::atomic<int32_t> index{-1};
    // A cancel's: the number alone travels, no record to refresh.
    std::atomic<bool> numberOnly{false};
    PatternRecord record;
  };
  struct QueuedCommand {
    SeqCommand command;
    uint64_t order;
    PatternSlot* pattern;
  };
  // Transitions the posting side asks of the render side; they run before
  // any other command of the same time.
  enum InternalCode : uint32_t {
    kBeginBounce = 0x100,
    kEndBounce = 0x101,
    kRefreshPattern = 0x102,      // carries the fresh record
    kCancelPatternChanges = 0x103, // carries the number in a slot
    kDropped = 0x1FF,             // a pattern change a cancel dropped
  };

  SeqListener& listener() { return *listener_; }

  // Posting.
  void post(uint64_t time, uint32_t code, uint32_t arg1 = 0, uint32_t arg2 = 0, PatternSlot* pattern = nullptr);
  void postFromRender(uint64_t time, uint32_t code, uint32_t arg1, uint32_t arg2 = 0);
  // Callers hold fetchMutex_ until they have posted the slot.
  PatternSlot* fetchPattern(int32_t index);
  // A free slot, in use from now on, numbered `index`.
  PatternSlot* claimSlot(int32_t index, bool numberOnly);
  static void releaseSlot(PatternSlot* slot);
  int32_t numberOfPatterns() const;

  // Render side.
  // Moves what was posted into the render side's queue; `wait` takes the
  // lock even when a poster holds it (never on the audio thread).
  void takePosted(bool wait);
  // Without io, timed commands wait, unless their time is at or before
  // `dueBy` (host ticks; 0: none is).
  int32_t processCommands(AudioIO* io, int32_t offset, int32_t frames, uint64_t dueBy = 0);
  // Render side: takes renumberLock_ for a pattern number's read and
  // publication, unless it is held for the whole call already (a bounce's
  // settle); false when a renumbering runs now.
  bool tryHoldRenumbering(std::unique_lock<platform::SpinTryLock>& renumbering);
  void execute(const QueuedCommand& c, AudioIO* io);
  void changePatternCommand(int32_t index, PatternSlot* pattern, bool notify);
  void refreshNow(PatternSlot* fresh);
  // `current` carries the number asked for from now on.
  void cancelNow(uint64_t order, PatternSlot* current);
  int32_t pendingIndex() const { return pendingSlot_ ? pendingSlot_->index.load(std::memory_order_relaxed) : pendingPattern_; }
  void start();
  void stop();
  bool loadPendingPattern(bool whilePlaying, int32_t startStep);
  // The same with renumberLock_ already held.
  bool loadPendingPatternLocked(bool whilePlaying, int32_t startStep);
  void preparePattern(int32_t startStep);
  // False when a change is due here but a renumbering runs: nothing of the
  // slice may play then (see process).
  bool handlePatternEnd();
  void loopOn();
  void loopOff();
  void setInternalClock(bool on);
  void updateStepClock();
  int32_t changeGrid() const;
  void clockTick(uint64_t hostTime);
  void followClockTempo(uint64_t hostTime);
  void linkWork(AudioIO* io, int32_t offset, int32_t frames);
  void linkStartAtNextQuantum(uint64_t hostTime, AudioIO* io);
  bool inLinkMode() const;
  uint64_t framesToHostTicks(int64_t frames) const;
  void publishQueries();
  void beginBounceNow();
  void endBounceNow();
  static void linkSessionTempoCallback(double sessionTempo, void* context);

  SeqListener* listener_;
  bool hasListener_;
  float sampleRate_;
  HostClock* clock_;
  std::function<int32_t()> patternChangeGrid_;
  std::unique_ptr<ClockTempoTracker> clockTracker_;
  std::unique_ptr<LinkKit> link_;
  std::atomic<DataProvider*> provider_{nullptr};

  // Shared with other threads.
  std::array<std::atomic<int32_t>, 4> params_{};
  std::atomic<int32_t> patternTempo_{1200};
  std::atomic<int32_t> followedTempo_{1200};
  std::atomic<int32_t> requestedPattern_{0};
  std::atomic<uint32_t> bankSelectMsb_{0};
  std::atomic<uint32_t> bankSelectLsb_{0};
  std::atomic<bool> playing_{false};
  std::atomic<bool> internalClock_{true};
  std::atomic<bool> loop_{false};
  std::atomic<bool> bouncePosting_{false};
  std::atomic<uint64_t> accentRow_{~uint64_t{0}};
  std::atomic<int64_t> linkTick_{0};
  std::atomic<float> linkPhase_{0.0f};
  std::atomic<double> linkSessionTempo_{120.0};
  std::atomic<uint64_t> linkLatencyNanos_{0};
  std::atomic<int32_t> halfStep_{0};
  std::atomic<int32_t> positionStep_{0};

  // Command queue: posters append to posted_ under commandMutex_; the render
  // thread moves them into queue_ (its own, capacity reserved up front). The
  // render side only tries the lock, and it is not a pthread mutex, whose
  // unlock is not real-time-safe.
  platform::SpinTryLock commandMutex_;
  // Held by the main thread across a renumbering; the render side only
  // tries it around reading a pattern's number and publishing it, and
  // leaves the change waiting when it is busy.
  platform::SpinTryLock renumberLock_;
  // Held by posting threads (never the render thread) from a record's
  // fetch to its post, and across refreshes and renumberings: a move cannot
  // renumber a slot between its stamp and its read, and a refresh cannot
  // overtake the change it refreshes.
  std::mutex fetchMutex_;
  std::function<void()> renumberingWaitHook_;
  std::vector<QueuedCommand> posted_;
  std::vector<QueuedCommand> queue_;
  bool unsorted_ = false;
  std::atomic<uint64_t> commandOrder_{1};
  // Record slots: grown by posters under slotMutex_, never shrunk; the render
  // thread hands a slot back by clearing its inUse flag.
  std::mutex slotMutex_;
  std::vector<std::unique_ptr<PatternSlot>> slots_;

  // Render thread.
  // Set while runPostedCommands holds renumberLock_ for its whole run.
  bool renumberingHeld_ = false;
  // This slice's commands stopped at one a renumbering held off: no pattern
  // loads before it has run, in a later slice.
  bool commandsHeldOff_ = false;
  int32_t pendingPattern_ = -1;
  PatternSlot* pendingSlot_ = nullptr;
  const PatternRecord* recordToLoad_ = nullptr;
  int32_t loopBar_ = 0;
  bool restartRequest_ = false;
  bool patternSetMode_ = false;
  bool startPending_ = false;
  bool bounce_ = false;
  bool quiet_ = false;
  bool savedInternalClock_ = true;
  bool returnedToTop_ = false;
  bool linkEnabled_ = false;
  bool linkStartArmed_ = false;
  int64_t nextLinkTick_ = 0;
  bool lastLinkEnabled_ = false;
  bool lastLinkConnected_ = false;
  double quantum_ = 4.0;
  uint64_t lastClockTime_ = 0;
  LinkSessionState* audioState_ = nullptr;  // this slice's capture

  StepClock stepClock_;
  PatternPosition position_;
  std::array<TriggerTrack, kNumParts> triggers_;
  std::array<MotionTrack, kNumParamIds> motion_;
};
