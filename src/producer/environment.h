// What a producer takes from its surroundings.
#pragma once

#include "platform/console.h"
#include "producer/pause.h"

namespace tavisor {

// The producers that Start launches run with the defaults; tests pass their
// own pause step (short pauses, or a long next one) and a console with a
// hook that sees each line as it is written.
struct ProducerEnvironment {
  constexpr ProducerEnvironment() = default;
  // `unit` outlives every producer that uses it.
  constexpr ProducerEnvironment(const PauseUnit* unit, platform::Console lines = {})
      : pause_unit(unit), console(lines) {}

  const PauseUnit* pause_unit = &kLibraryPauseUnit;
  platform::Console console;
};

}  // namespace tavisor
