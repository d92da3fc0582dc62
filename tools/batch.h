// Many files at once: one job per file, run on a number of threads (each file wholly on one
// thread; the image library works on one image per thread), a progress line on a terminal and
// one error line per failed file.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/image_io.h"

namespace talvrin::tool {

class Console;

// What a job answers: nothing on success, else the error line's text.
using BatchJob = std::function<std::optional<std::string>(std::size_t index)>;

// Runs job(0) ... job(names.size() - 1) on up to `threads` threads (at least one) and prints,
// for each failure, "<prefix>: <error>" on standard error. Exit status 0 when every job
// succeeded, 1 when any failed.
int runBatch(const std::vector<std::string>& names, unsigned threads, Console& console,
             const std::string& prefix, const BatchJob& job);

// The threads a batch uses by default: one per processor.
[[nodiscard]] unsigned defaultThreads() noexcept;

// The output name for an input in a batch: the folder, the input's file name without its
// extension, and the extension ("in/a.gif", "out", ".png" -> "out/a.png").
[[nodiscard]] std::string outputPathFor(const std::string& input, const std::string& folder,
                                        std::string_view extension);

}  // namespace talvrin::tool

namespace talvrin::tool {

class ParsedArguments;

// Which files a command reads and writes: "IN OUT" (one file; OUT may be "-", standard output,
// when a format is given) or "IN... --out-dir DIR" (every input to DIR under its own name).
struct OutputPlan {
    std::vector<std::string> inputs, outputs;
    OutputFormat format = OutputFormat::kPng;
    bool batch = false;
    // For each input, why nothing is written for it, or nothing. Before anything is written the
    // plan refuses every output that is one of the inputs (a batch never writes over its own
    // input; a single "IN OUT" whose OUT is IN replaces it whole) and every output two inputs
    // share ("a.png" and "a.gif" into one folder: neither is written), naming the other file.
    std::vector<std::optional<std::string>> refused;
};

// A folder that should hold the outputs and cannot be made: nothing is written (exit status 1).
class PlanError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Plans from the positional arguments, --out-dir (made when missing, one level, as mkdir does)
// and --format (formatRequiredInBatch: a batch without --format is a usage error; otherwise it
// writes defaultFormat). Throws UsageError, or PlanError.
[[nodiscard]] OutputPlan planOutputs(const ParsedArguments& args, bool formatRequiredInBatch,
                                     OutputFormat defaultFormat);

}  // namespace talvrin::tool
