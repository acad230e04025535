#include "refdata/reference_lists.h"

#include <atomic>

#include "refdata/line_reader.h"
#include "tavisor/internal/thread_annotations.h"

namespace tavisor {

namespace {

// White space as the standard "C" classification knows it.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Quoted(const char* file) { return std::string("\"") + file + "\""; }

std::string UnableToOpen(const char* file) { return "Unable to open file " + Quoted(file); }

std::string LineTooLong(const char* file, std::size_t line_number) {
  return "File " + Quoted(file) + " is corrupted, line " + std::to_string(line_number) +
         " is longer than " + std::to_string(kMaximumLineLength) + " characters";
}

std::string ReadFailed(const char* file, std::size_t line_number) {
  return "File " + Quoted(file) + " is corrupted, it cannot be read after line " +
         std::to_string(line_number - 1);
}

// Reads every line of `file` into `append`. Returns an empty string, or the
// failure that ended the load; lines before it stay appended.
template <class AppendLine>
std::string ReadListFile(const OpenListFile& open, const char* file, AppendLine append) {
  const std::unique_ptr<ByteSource> source = open(file);
  if (source == nullptr) return UnableToOpen(file);
  LineReader reader(*source, kMaximumLineLength);
  if (!reader.IsReadable()) return UnableToOpen(file);
  for (std::size_t line_number = 1;; ++line_number) {
    std::string_view line;
    switch (reader.Next(line)) {
      case LineReader::Status::kTooLong:
        return LineTooLong(file, line_number);
      case LineReader::Status::kReadError:
        return ReadFailed(file, line_number);
      case LineReader::Status::kLine:
        append(line);
        break;
      case LineReader::Status::kLastLine:
        append(line);
        return {};
    }
  }
}

}  // namespace

namespace {

struct LibraryStore {
  internal::Mutex loading;  // one load at a time
  // Every entry of every load.
  ReferenceLists all TAVISOR_GUARDED_BY(loading);
  std::unique_ptr<const ReferenceLists> drawn TAVISOR_GUARDED_BY(loading);
};

LibraryStore& Store() {
  static LibraryStore store;
  return store;
}

// Null until the library's lists first hold the minimums; from then on the
// same list, which only the library's unloading frees.
std::atomic<const ReferenceLists*> published_drawn{nullptr};

void PublishDrawnOnce(LibraryStore& store) TAVISOR_REQUIRES(store.loading) {
  if (store.drawn != nullptr || store.all.birds.size() < kMinimumSpecies ||
      store.all.communities.size() < kMinimumCommunities) {
    return;
  }
  auto drawn = std::make_unique<ReferenceLists>();
  drawn->birds.assign(store.all.birds.begin(), store.all.birds.begin() + kMinimumSpecies);
  drawn->communities.assign(store.all.communities.begin(),
                            store.all.communities.begin() + kMinimumCommunities);
  store.drawn = std::move(drawn);
  published_drawn.store(store.drawn.get(), std::memory_order_release);
}

}  // namespace

void UpdateLibraryLists(const std::function<void(ReferenceLists&)>& load) {
  LibraryStore& store = Store();
  const internal::MutexLock lock(store.loading);
  load(store.all);
  PublishDrawnOnce(store);
}

void ReadLibraryLists(const std::function<void(const ReferenceLists&)>& read) {
  LibraryStore& store = Store();
  const internal::MutexLock lock(store.loading);
  read(store.all);
}

const ReferenceLists& DrawnLists() {
  if (const ReferenceLists* drawn = published_drawn.load(std::memory_order_acquire)) {
    return *drawn;
  }
  static const ReferenceLists none;
  return none;
}

BirdInfo ParseBirdLine(std::string_view line) {
  BirdInfo item;
  int words_taken = 0;
  std::size_t pos = 0;
  bool end_of_line = false;
  // Word by word, as a stream would read it: white space only at the end
  // still yields one (empty) word.
  while (!end_of_line) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos])) ++pos;
    const std::string_view word = line.substr(start, pos - start);
    end_of_line = pos == line.size();
    if (words_taken == 0) {
      item.order = word;
      words_taken = 1;
    } else if (words_taken == 1) {
      item.family = word;
      words_taken = 2;
    } else if (word.size() == 1) {
      item.rarity = word[0];
      break;
    } else {
      item.name.append(word);
      item.name.push_back(' ');
    }
  }
  // Only the ASCII letters change case, as in the "C" locale.
  if (!item.name.empty() && item.name[0] >= 'a' && item.name[0] <= 'z') {
    item.name[0] = static_cast<char>(item.name[0] - 'a' + 'A');
  }
  return item;
}

std::string LoadReferenceLists(ReferenceLists& lists, const std::filesystem::path& directory) {
  return LoadReferenceLists(
      lists, [&directory](const char* file) { return OpenFileSource(directory / file); });
}

std::string LoadReferenceLists(ReferenceLists& lists, const OpenListFile& open) {
  std::string failure = ReadListFile(open, kBirdListFile, [&](std::string_view line) {
    lists.birds.push_back(ParseBirdLine(line));
  });
  if (!failure.empty()) return failure;
  if (lists.birds.size() < kMinimumSpecies) {
    return "File " + Quoted(kBirdListFile) +
           " is corrupted, number of species cannot be less than " +
           std::to_string(kMinimumSpecies);
  }
  failure = ReadListFile(open, kMunicipalityListFile,
                         [&](std::string_view line) { lists.communities.emplace_back(line); });
  if (!failure.empty()) return failure;
  if (lists.communities.size() < kMinimumCommunities) {
    return "File " + Quoted(kMunicipalityListFile) +
           " is corrupted, number of communities cannot be less than " +
           std::to_string(kMinimumCommunities);
  }
  return {};
}

}  // namespace tavisor
