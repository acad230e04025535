// A client that includes <windows.h> before the client runtime: the
// loader's calls that library.h declares are the same functions.
#include <windows.h>

#include "tavisor/library.h"
#include "tavisor/producer.h"

int LoadsThroughBoth() {
  const HMODULE module = ::LoadLibraryW(L"Tavisor.dll");
  return module != nullptr && ::FreeLibrary(module) != 0;
}
