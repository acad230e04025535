// What the library's tests reach in a hand-over beyond a client's calls:
// the structure itself, and a hand-back that leaves cvShared unnotified.
#pragma once

#include "tavisor/internal/hand_over.h"

namespace tavisor::internal {

struct HandOverPeer {
  // The structure the producer runs on, to look at its primitives and queue.
  template <char Variant>
  static SharedState<Variant>& State(HandOver<Variant>& side) {
    HandOverBase<Variant>& base = side;
    return base.state_;
  }
  // Take(), but with `notify` false the hand-back leaves cvShared
  // unnotified, as a client that forgets to would.
  template <char Variant>
  static Delivery Take(HandOver<Variant>& side, bool notify) {
    HandOverBase<Variant>& base = side;
    return base.TakeNotifying(notify);
  }
};

}  // namespace tavisor::internal
