#pragma once
// What the pattern library tells the engine when it changes what a pattern
// number holds, so that a pattern change still waiting for its change point
// plays what the library holds, and a save of the playing pattern goes to
// the number its record came from.
//
// The library calls these on the thread that changed it (the main thread),
// after the change and before it posts its own notifications.

#include <cstdint>
#include <vector>

class PatternLibraryObserver {
 public:
  // A save or an init wrote pattern `index`.
  virtual void libraryStoredPattern(int32_t index) = 0;
  // Pattern `from` now has the number `to`; the ones between moved up or
  // down by one to make room (see movedPatternNumber).
  virtual void libraryMovedPattern(int32_t from, int32_t to) = 0;
  // The library was re-sorted: the pattern numbered n is now numbered
  // `numberOf[n]` (a number past the end keeps its number).
  virtual void libraryRenumberedPatterns(const std::vector<int32_t>& numberOf) = 0;
  // The numbers no longer hold what they held (the library was replaced or
  // deleted): nothing fetched before can be trusted.
  virtual void libraryReplacedPatterns() = 0;

 protected:
  ~PatternLibraryObserver() = default;
};

// The number pattern `p` has after pattern `from` moved to `to`.
inline int32_t movedPatternNumber(int32_t p, int32_t from, int32_t to) {
  if (p == from) return to;
  if (from < p && p <= to) return p - 1;
  if (to <= p && p < from) return p + 1;
  return p;
}

// The number pattern `p` has after a re-sort that gave each pattern n the
// number `numberOf[n]`.
inline int32_t renumberedPattern(int32_t p, const std::vector<int32_t>& numberOf) {
  return p >= 0 && static_cast<size_t>(p) < numberOf.size() ? numberOf[static_cast<size_t>(p)] : p;
}
