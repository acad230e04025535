// The four exported functions, under plain names.
#include "api/entry_points.h"
#include "tavisor/api.h"

extern "C" {

TAVISOR_API void Initialize() { tavisor::InitializeLibrary(); }

TAVISOR_API tavisor::Item* GetItem() { return tavisor::NewRandomItem(); }

TAVISOR_API tavisor::Item* GetTestItem(std::int32_t n) { return tavisor::NewTestItem(n); }

TAVISOR_API void Start(char version, void* shared) { tavisor::StartProducer(version, shared); }

}  // extern "C"
