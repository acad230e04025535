#include "options.h"

#include <stdexcept>

#include "variants.h"

namespace demo {

namespace {

int ParseBatches(const std::string& text) {
  std::size_t used = 0;
  int value = -1;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || value < 0 || value > 100) {
    throw std::invalid_argument("--batches needs a number from 0 to 100, not \"" + text + "\"");
  }
  return value;
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(arg + " needs a value");
      return args[++i];
    };
    if (arg == "--interactive" || arg == "-i") {
      options.interactive = true;
    } else if (arg == "--utf8") {
      options.utf8 = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--data") {
      options.data = value();
    } else if (arg == "--library") {
      options.library = value();
    } else if (arg == "--batches") {
      options.batches = ParseBatches(value());
    } else if (arg == "--variant") {
      const std::string& letter = value();
      const std::optional<char> variant =
          letter.size() == 1 ? VariantLetter(letter[0]) : std::nullopt;
      if (!variant) {
        throw std::invalid_argument("--variant needs one of the letters A to E, not \"" + letter +
                                    "\"");
      }
      options.variant = *variant;
    } else {
      throw std::invalid_argument("Unknown option \"" + arg + "\" (try --help)");
    }
  }
  return options;
}

const char* Usage() {
  return "Usage: tavisor-demo [--interactive] [--data DIR] [--variant A-E] [--batches N]\n"
         "                    [--library FILE] [--utf8]\n"
         "\n"
         "Loads the Tavisor library, loads the bird and municipality lists of DIR (by\n"
         "default the bundled data/ directory) and shows records in their Estonian text\n"
         "form. Without --interactive it prints a few random and test records, then runs\n"
         "one producer (--variant, default A) for N batches (--batches, default 2) and\n"
         "stops it. --interactive reads commands instead; type help there.\n"
         "\n"
         "  --library FILE  the library to load (default: the one next to this program)\n"
         "  --utf8          convert the Windows-1252 print-out for a UTF-8 terminal\n";
}

}  // namespace demo
