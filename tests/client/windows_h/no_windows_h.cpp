// The client runtime keeps <windows.h> (and its min/max macros) out of
// the client's code.
#include "tavisor/library.h"
#include "tavisor/producer.h"
#include "tavisor/record_stream.h"
#include "tavisor/text.h"

#if defined(_WINDOWS_) || defined(_INC_WINDOWS) || defined(min) || defined(max)
#error "<windows.h> came in through the Tavisor headers"
#endif

int NothingElse() { return 0; }
