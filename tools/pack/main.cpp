// quend-pack: the publisher's tool. Writes the checksum lists of a game folder and the encoded
// values of Launcher.ini. Exit status 0 on success, 1 for a wrong command line, 2 when the work
// fails (the message names the file).

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "pack/ansi_text.h"
#include "pack/checksum_writer.h"
#include "pack/ini_encoder.h"
#include "pack/pack_error.h"
#include "pack/progress_reporter.h"
#include "platform/paths.h"
#include "platform/terminal.h"

namespace {

constexpr int kUsageError = 1;
constexpr int kFailure = 2;

struct Options {
    std::string gameDir;
    std::string outDir;
    std::string version;
    std::vector<std::string> excludes;
    std::string text;
    bool raw = false;
    std::string plainIni;
    std::string launcherIni;
};

void RunChecksums(const Options& options) {
    pack::CChecksumWriter writer(platform::FsPath(options.gameDir),
                                 platform::FsPath(options.outDir));
    for (const std::string& name : options.excludes)
        writer.Exclude(name);
    pack::CProgressReporter progress(stderr, platform::IsTerminal(stderr));
    writer.SetProgress([&progress](std::size_t done, std::size_t total, const std::string& name) {
        progress.Report(done, total, name);
    });
    const std::size_t count = writer.Run(options.version);
    for (const std::string& skipped : writer.Skipped())
        std::cerr << "quend-pack: left out, not a regular file: " << skipped << '\n';
    std::cout << "listed " << count << " files in " << options.outDir << '\n';
}

void RunEncode(const Options& options) {
    const std::string bytes =
        options.raw ? options.text : pack::ToAnsiOrThrow(options.text, "the text to encode");
    std::cout << pack::HexEncode(bytes) << '\n';
}

std::string CheckVersion(std::string& version) {
    try {
        pack::ChecksumListName(version);
        return {};
    } catch (const pack::PackError& e) {
        return e.what();
    }
}

void AddCommands(CLI::App& app, Options& options) {
    CLI::App* checksums =
        app.add_subcommand("checksums", "write checksum_all.md5 (and checksum_X_Y_Z.md5)");
    checksums->add_option("GAME_DIR", options.gameDir, "game folder to list")->required();
    checksums->add_option("--out", options.outDir, "folder for the lists")->required();
    checksums->add_option("--version", options.version, "also write checksum_X_Y_Z.md5")
        ->check(CLI::Validator(CheckVersion, "X.Y.Z"));
    checksums->add_option("--exclude", options.excludes,
                          "leave out files or folders of this name or relative path");

    CLI::App* encode =
        app.add_subcommand("encode", "print the encoded form of a Launcher.ini value");
    encode->add_option("TEXT", options.text, "value, UTF-8")->required();
    encode->add_flag("--raw", options.raw, "take the bytes as they are, without conversion");

    CLI::App* ini = app.add_subcommand("ini", "write Launcher.ini from a plain INI file");
    ini->add_option("PLAIN_INI", options.plainIni, "plain INI, UTF-8")->required();
    ini->add_option("LAUNCHER_INI", options.launcherIni, "Launcher.ini to write")->required();
    app.require_subcommand(1);
}

void Run(const CLI::App& app, const Options& options) {
    if (app.got_subcommand("checksums")) {
        RunChecksums(options);
    } else if (app.got_subcommand("encode")) {
        RunEncode(options);
    } else {
        pack::EncodeIniFile(options.plainIni, options.launcherIni);
    }
}

// `arguments`: UTF-8, without the program name.
int RunPack(std::vector<std::string> arguments) {
    CLI::App app("Publisher's tool of the Quendalor launcher", "quend-pack");
    Options options;
    AddCommands(app, options);
    try {
        std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
        app.parse(arguments);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kUsageError;
    }
    try {
        Run(app, options);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "quend-pack: " << e.what() << '\n';
        return kFailure;
    }
}

}  // namespace

#ifdef _WIN32
// Windows hands narrow arguments over in the ANSI code page: take the wide ones.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(platform::PathUtf8(argv[i]));
    return RunPack(std::move(arguments));
}
#else
int main(int argc, char** argv) {
    return RunPack(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
