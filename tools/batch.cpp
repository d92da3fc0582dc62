// The batch driver: workers take the next file from a shared counter until none is left.
#include "tools/batch.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <unordered_map>

#include "platform/os/tool_io.h"
#include "tools/arguments.h"
#include "tools/console.h"
#include "tools/image_io.h"

namespace talvrin::tool {

int runBatch(const std::vector<std::string>& names, unsigned threads, Console& console,
             const std::string& prefix, const BatchJob& job) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&]() {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= names.size()) return;
            console.progress(i + 1, names.size(), names[i]);
            std::optional<std::string> error;
            try {
                error = job(i);
            } catch (const std::bad_alloc&) {
                error = names[i] + ": error=out of memory";
            }
            if (error) {
                failed = true;
                console.error(prefix + ": " + *error);
            }
        }
    };
    const unsigned count =
        static_cast<unsigned>(std::clamp<std::size_t>(names.size(), 1, std::max(1u, threads)));
    std::vector<std::thread> workers;
    // The calling thread is one of the workers; a thread that cannot be started leaves its
    // share to the others.
    for (unsigned t = 1; t < count; ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& w : workers)
        w.join();
    console.endProgress();
    return failed ? 1 : 0;
}

unsigned defaultThreads() noexcept {
    return std::max(1u, std::thread::hardware_concurrency());
}

std::string outputPathFor(const std::string& input, const std::string& folder,
                          std::string_view extension) {
    const auto slash = input.find_last_of("/\\");
    std::string base = slash == std::string::npos ? input : input.substr(slash + 1);
    if (const auto dot = base.find_last_of('.'); dot != std::string::npos && dot > 0)
        base.resize(dot);
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    return path + base + std::string(extension);
}

}  // namespace talvrin::tool

namespace talvrin::tool {

OutputPlan planOutputs(const ParsedArguments& args, bool formatRequiredInBatch,
                       OutputFormat defaultFormat) {
    OutputPlan plan;
    std::optional<OutputFormat> format;
    if (const auto f = args.value("--format")) {
        format = formatNamed(*f);
        if (!format) throw UsageError("--format wants png, bmp, rgba or prgba, not '" + *f + "'");
    }
    const std::vector<std::string>& files = args.positional;
    if (const auto folder = args.value("--out-dir")) {
        plan.batch = true;
        if (files.empty()) throw UsageError("no IN given");
        if (!format && formatRequiredInBatch) throw UsageError("--out-dir needs --format");
        if (!platform::isDirectory(*folder))
            throw UsageError("--out-dir '" + *folder + "' is not a directory");
        plan.format = format.value_or(defaultFormat);
        std::unordered_map<std::string, std::size_t> firstWriter;
        for (const std::string& in : files) {
            if (in == "-") throw UsageError("'-' (standard input) cannot be part of a batch");
            plan.inputs.push_back(in);
            plan.outputs.push_back(outputPathFor(in, *folder, extensionOf(plan.format)));
            const auto [at, fresh] =
                firstWriter.emplace(plan.outputs.back(), plan.inputs.size() - 1);
            plan.sameOutputAs.push_back(fresh ? -1 : static_cast<std::ptrdiff_t>(at->second));
        }
        return plan;
    }
    if (files.empty()) throw UsageError("no IN and OUT given");
    if (files.size() == 1) throw UsageError("no OUT given after '" + files[0] + "'");
    if (files.size() > 2)
        throw UsageError("extra argument '" + files[2] + "' (one IN and one OUT, or --out-dir)");
    if (!format) format = formatOfPath(files[1]);
    if (!format) {
        if (files[1] == "-") throw UsageError("writing to standard output needs --format");
        throw UsageError("cannot tell the output format of '" + files[1] +
                         "' (use .png, .bmp, .rgba or .prgba, or --format)");
    }
    plan.format = *format;
    plan.inputs = {files[0]};
    plan.outputs = {files[1]};
    plan.sameOutputAs = {-1};
    return plan;
}

}  // namespace talvrin::tool
