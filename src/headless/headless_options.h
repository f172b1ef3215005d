#pragma once
// The launcher's command-line mode: which arguments choose it over the window, what they mean,
// and the text of --help. Pure functions; any thread.

#include <optional>
#include <string>
#include <vector>

namespace headless {

// What the program's exit status says about a run of the command-line mode.
inline constexpr int kExitCurrent = 0;        // every file is as listed
inline constexpr int kExitDiffers = 1;        // --verify: some files differ
inline constexpr int kExitError = 2;          // anything that kept the run from its answer
inline constexpr int kExitInterrupted = 130;  // Ctrl-C (SIGINT); 128 + the signal in general

struct HeadlessOptions {
    enum class Mode { Help, Verify, Repair };
    Mode mode = Mode::Help;
    std::string game;     // --game, as typed (UTF-8); empty: the default choice
    int connections = 1;  // --connections
};

// The window's own arguments are a process id and single-dash switches; an argument that
// begins with "--" asks for the command-line mode.
bool IsHeadlessCommandLine(const std::vector<std::string>& args);

// The arguments after the program name; empty with `error` set when they make no run.
std::optional<HeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& args,
                                                    std::string& error);

// The text of --help, for a program file called `programName`.
std::string HeadlessUsage(const std::string& programName);

}  // namespace headless
