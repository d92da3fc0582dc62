// The batch driver: workers take the next file from a shared counter until none is left.
#include "tools/batch.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <unordered_map>

#include "platform/os/tool_io.h"
#include "tools/arguments.h"
#include "tools/console.h"
#include "tools/failure.h"
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
                error = failureLine("process", names[i], outOfMemory());
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

namespace {

// Refuses the outputs that would write over an input or that two inputs share.
void refuseCollisions(OutputPlan& plan) {
    const std::size_t n = plan.inputs.size();
    plan.refused.assign(n, std::nullopt);
    std::vector<std::optional<platform::FileIdentity>> inputIds(n);
    for (std::size_t i = 0; i < n; ++i)
        inputIds[i] = plan.inputs[i] == "-" ? std::nullopt : platform::fileIdentity(plan.inputs[i]);
    // Outputs compared by the file they name when it exists, else by their name.
    std::vector<std::string> keys(n);
    std::unordered_map<std::string, std::size_t> firstWithKey;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& out = plan.outputs[i];
        if (out == "-") continue;
        const auto id = platform::fileIdentity(out);
        keys[i] = id ? "file " + std::to_string(id->device) + ":" + std::to_string(id->file)
                     : "name " + out;
        firstWithKey.emplace(keys[i], i);
        if (!id) continue;
        for (std::size_t j = 0; j < n; ++j) {
            if (inputIds[j] != id || (!plan.batch && j == i)) continue;
            plan.refused[i] =
                "'" + plan.inputs[i] + "': not written: its output '" + out + "' is " +
                (j == i ? std::string("this input itself") : "the input '" + plan.inputs[j] + "'");
            break;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (keys[i].empty() || plan.refused[i]) continue;
        // The first other input with the same output.
        std::size_t other = firstWithKey.at(keys[i]);
        if (other == i)
            for (std::size_t j = i + 1; j < n && other == i; ++j)
                if (keys[j] == keys[i]) other = j;
        if (other != i)
            plan.refused[i] = "'" + plan.inputs[i] + "': not written: its output '" +
                              plan.outputs[i] + "' is also the output of '" + plan.inputs[other] +
                              "'";
    }
}

}  // namespace

OutputPlan planOutputs(const ParsedArguments& args, bool formatRequiredInBatch,
                       OutputFormat defaultFormat) {
    OutputPlan plan;
    std::optional<OutputFormat> format;
    if (const auto f = args.value("--format")) {
        format = formatNamed(*f);
        if (!format)
            throw UsageError("--format wants png, bmp, rgba, prgba or jpeg, not '" + *f + "'");
    }
    const std::vector<std::string>& files = args.positional;
    if (const auto folder = args.value("--out-dir")) {
        plan.batch = true;
        if (files.empty()) throw UsageError("no IN given");
        if (!format && formatRequiredInBatch) throw UsageError("--out-dir needs --format");
        for (const std::string& in : files)
            if (in == "-") throw UsageError("'-' (standard input) cannot be part of a batch");
        if (!platform::isDirectory(*folder)) {
            if (platform::fileIdentity(*folder))
                throw UsageError("--out-dir '" + *folder + "' is not a directory");
            if (const FileFailureRecord made = platform::makeDirectory(*folder); made.failed())
                throw PlanError(failureLine("make the folder", *folder, Failure::of(made)));
        }
        plan.format = format.value_or(defaultFormat);
        for (const std::string& in : files) {
            plan.inputs.push_back(in);
            plan.outputs.push_back(outputPathFor(in, *folder, extensionOf(plan.format)));
        }
        refuseCollisions(plan);
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
                         "' (use .png, .bmp, .rgba, .prgba or .jpg, or --format)");
    }
    plan.format = *format;
    plan.inputs = {files[0]};
    plan.outputs = {files[1]};
    refuseCollisions(plan);
    return plan;
}

}  // namespace talvrin::tool
