// Deprecated: the client's side of the hand-over is internal
// (tavisor/internal/hand_over.h); clients use tavisor::Producer
// (tavisor/producer.h). Delivery, Arrival, Outlook and the clock are in
// tavisor/delivery.h, VariantUnavailableReason in tavisor/variants.h. Kept
// for one minor version.
#pragma once

#include "tavisor/delivery.h"
#include "tavisor/internal/hand_over.h"
#include "tavisor/variants.h"

namespace tavisor {

template <char Variant>
using HandOver [[deprecated("internal: use tavisor::Producer (tavisor/producer.h)")]] =
    internal::HandOver<Variant>;

}  // namespace tavisor
