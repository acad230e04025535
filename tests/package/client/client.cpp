// Loads the installed library by name, prints test record 0, initializes
// from the working directory and prints the species of one random record.
#include <cstdio>
#include <exception>
#include <memory>

#include "tavisor/library.h"

int main() {
  try {
    const tavisor::Library lib;  // by its plain name
    const std::unique_ptr<tavisor::Item> test_item(lib.GetTestItem(0));
    std::printf("test record 0: %s\n", test_item->name.c_str());
    lib.Initialize();
    const std::unique_ptr<tavisor::Item> item(lib.GetItem());
    std::printf("random record: %zu sightings\n", item->observations.size());
    return 0;
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
    return 1;
  }
}
