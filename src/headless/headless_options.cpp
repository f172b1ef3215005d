#include "headless/headless_options.h"

#include <charconv>

namespace headless {
namespace {

constexpr int kMostConnections = 16;

// "--name VALUE" or "--name=VALUE" at args[i]; moves i past what it took.
std::optional<std::string> TakeValue(const std::vector<std::string>& args, std::size_t& i,
                                     const std::string& name, std::string& error) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
        arg[name.size()] == '=')
        return arg.substr(name.size() + 1);
    if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return std::nullopt;
    }
    return args[++i];
}

bool Names(const std::string& arg, const std::string& name) {
    return arg == name || arg.starts_with(name + "=");
}

std::optional<int> ReadConnections(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > kMostConnections)
        return std::nullopt;
    return value;
}

}  // namespace

bool IsHeadlessCommandLine(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg.starts_with("--"))
            return true;
    }
    return false;
}

std::optional<HeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& args,
                                                    std::string& error) {
    HeadlessOptions options;
    bool help = false;
    int modes = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help") {
            help = true;
        } else if (arg == "--verify") {
            options.mode = HeadlessOptions::Mode::Verify;
            ++modes;
        } else if (arg == "--repair") {
            options.mode = HeadlessOptions::Mode::Repair;
            ++modes;
        } else if (Names(arg, "--game")) {
            const auto value = TakeValue(args, i, "--game", error);
            if (!value)
                return std::nullopt;
            if (value->empty()) {
                error = "--game needs a name";
                return std::nullopt;
            }
            options.game = *value;
        } else if (Names(arg, "--connections")) {
            const auto value = TakeValue(args, i, "--connections", error);
            if (!value)
                return std::nullopt;
            const auto connections = ReadConnections(*value);
            if (!connections) {
                error = "--connections takes a number from 1 to " +
                        std::to_string(kMostConnections) + ", not \"" + *value + "\"";
                return std::nullopt;
            }
            options.connections = *connections;
        } else {
            error = "unknown argument \"" + arg + "\"";
            return std::nullopt;
        }
    }
    if (help)
        return HeadlessOptions{};
    if (modes != 1) {
        error =
            modes == 0 ? "say --verify or --repair" : "--verify and --repair exclude each other";
        return std::nullopt;
    }
    return options;
}

std::string HeadlessUsage(const std::string& programName) {
    return "Usage: " + programName +
           " --verify [--game NAME]\n"
           "       " +
           programName +
           " --repair [--game NAME] [--connections N]\n"
           "       " +
           programName +
           " --help\n"
           R"(
Without these options the launcher opens its window. With them it checks or repairs the game
folder from a terminal or a script, without a window or a display, the way the window's update
does: it reads Launcher.ini beside the program, asks the launcher server (TREE_SERVER) for the
game list, fetches the game's checksum list from the game's update server and compares every
listed file with the game folder, using the window's engine. They are switches of the launcher
program rather than a program of their own, so that every installation has them, in the version
of the engine that patches it.

  --verify          compare only; print the name of every file that differs on standard output,
                    one per line, as the checksum list writes it (in UTF-8); change nothing
  --repair          compare, then fetch every file that differs, as the window's Update does
  --game NAME       the game, by its name or key at the launcher server; without it, the game
                    CURRENT_GAME of Launcher.ini names, else the server's only game
  --connections N   connections to the update server for --repair, 1 to 16 (default 1)
  --help            this text

The game folder is the folder that holds the launcher's own folder (the launcher lives in
<game folder>/Launcher/). Files named in NotUpdateList.txt beside the program are left alone.
The checksum list is fetched into the temporary folder, never into the game folder.

--repair takes the lock of a running launcher window: it refuses to run while a launcher
window of this user is open (or another repair runs), and a window started meanwhile is refused.
--verify only reads the game folder and may run beside a window.

Progress goes to standard error: a bar with the bytes fetched, the rate and the time left on a
terminal, a plain line every 5 seconds otherwise; a summary follows at the end. Ctrl-C stops
the run; what a repair fetched of a file is kept, and the next repair goes on from there. A
second Ctrl-C ends the program at once.

Exit status:
  0    every listed file is current (after --repair: the game folder is repaired)
  1    --verify: some files differ (--repair mends them)
  2    an error, named on standard error: a wrong command line, no Launcher.ini, the launcher
       or update server not answering, no checksum list, too little disk space, files that
       could not be fetched or written
  130  stopped by Ctrl-C (143 when ended by SIGTERM)
)";
}

}  // namespace headless
