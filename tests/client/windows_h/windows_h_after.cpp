// A client that includes <windows.h> after the client runtime.
#include "tavisor/library.h"
#include "tavisor/producer.h"

#include <windows.h>

unsigned long LastErrorThroughBoth() { return ::GetLastError(); }
