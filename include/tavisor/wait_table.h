// Deprecated: the wait table check is internal
// (tavisor/internal/wait_table.h); tavisor::VariantUnavailableReason
// (tavisor/variants.h) tells what it means for a variant. Kept for one minor
// version.
#pragma once

#include "tavisor/internal/wait_table.h"

namespace tavisor {

[[deprecated("internal: use tavisor::VariantUnavailableReason (tavisor/variants.h)")]] inline bool
ProgramSharesWaitTable() {
  return internal::ProgramSharesWaitTable();
}

}  // namespace tavisor
