#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "fs/FileSystemKind.h"

namespace quarvell::cli {

namespace {

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0        the job ran to its end and every file is complete (also when it found nothing)\n"
    "  1        the job could not do what was asked: a parse failed, a file could not be saved\n"
    "  2        bad input: usage, a missing or unreadable path, an invalid argument, an output\n"
    "           folder on the source\n"
    "  3        every file was saved but some are incomplete (zeros for unreadable or missing\n"
    "           bytes), or a listing skipped unreadable metadata\n"
    "  128+N    signal N stopped the job (130 SIGINT, 143 SIGTERM, 129 SIGHUP)\n";

// The labels of the kinds that offer a mode, as "--fs" and the scan name them.
std::string kindsOffering(bool ModeOffer::*mode) {
    std::string out;
    for (const FileSystemKind& kind : fileSystemKinds()) {
        if (!(kind.modes.*mode) || kind.labels.empty()) continue;
        if (!out.empty()) out += ", ";
        out += kind.labels.front();
    }
    return out;
}

std::string optionText(const OptionSpec& o) { return o.value ? std::string(o.name) + " " + o.value : o.name; }

// Help lines of one group: the option and its value, then its help, wrapped under it when the
// option is long.
void appendGroup(std::string& out, const OptionGroup& group) {
    out += "\n" + group.title + ":\n";
    for (const OptionSpec& o : group.options) {
        const std::string left = "  " + optionText(o);
        std::string help = o.help;
        std::string indent(32, ' ');
        if (left.size() < 31) out += left + std::string(32 - left.size(), ' ');
        else out += left + "\n" + indent;
        for (size_t nl; (nl = help.find('\n')) != std::string::npos;) {
            out += help.substr(0, nl) + "\n" + indent;
            help.erase(0, nl + 1);
        }
        out += help + "\n";
    }
}

bool isShared(const OptionGroup* g) { return g == &volumeOptionGroup() || g == &parseModeOptionGroup(); }

const OptionSpec* findOption(const Command& c, const std::string& name) {
    for (const OptionGroup* g : c.groups)
        for (const OptionSpec& o : g->options)
            if (name == o.name) return &o;
    return nullptr;
}

}  // namespace

const OptionGroup& volumeOptionGroup() {
    static const OptionGroup group{
        "Volume options (VOLUME-OPTIONS: the one volume a command works on)",
        {
            {"--volume", "N", "row N of the standard partition scan (partitions IMAGE lists them)"},
            {"--gpt", nullptr, "with --volume: read the partition table as GPT"},
            {"--start", "SECTOR", "a volume given by hand, from this sector; without a size it runs\nto the end of the medium"},
            {"--size", "MIB", "with --start: the volume's length in MiB"},
            {"--sectors", "N", "with --start: the volume's length in 512-byte sectors"},
            {"--fs", "LABEL", "with --start: the file system's label (NTFS, FAT32, FAT16, FAT12,\nFAT64, extX, HFS+, ...)"},
        }};
    return group;
}

const OptionGroup& parseModeOptionGroup() {
    static const OptionGroup group{
        "Parsing modes and advanced choices (ls, recover, search)",
        {
            {"--mode", "standard|advanced|deep",
             "how the volume is read, among the modes its file system offers:\nstandard (every file system), advanced (" +
                 kindsOffering(&ModeOffer::advanced) + "),\ndeep (" + kindsOffering(&ModeOffer::deep) +
                 "); default standard"},
            {"--candidate", "I", "with --mode advanced: parse from the I-th copy of the key structures\n"
                                 "found (ls --mode advanced without it lists them)"},
            {"--heap", "J", "exFAT, with --mode advanced: the cluster heap found J-th (default: I)"},
            {"--sectors-per-cluster", "N", "with --mode advanced: the cluster size to assume (a power of two)"},
            {"--formatted", nullptr, "with --mode advanced on FAT or exFAT: the drive was formatted, read\n"
                                     "deleted data as consecutive clusters"},
            {"--max", "N", "with --mode advanced: how many copies the search finds (default 3)"},
        }};
    return group;
}

std::string programHelp() {
    std::string out =
        "usage: quarvell-cli COMMAND [ARGUMENTS]  (quarvell-cli COMMAND --help for one command)\n"
        "       quarvell-cli --version\n\n"
        "quarvell-cli: read-only data recovery from disks and disk images\n"
        "Images may be raw (also split: NAME.000/.001/.aa ...), EWF (.E01), VHD/VHDX, VMDK or QCOW2.\n\n"
        "Commands:\n";
    for (const Command& c : commands()) {
        out += std::string("  ") + c.name + " " + c.arguments + "\n";
        std::string summary = c.summary;
        for (size_t nl; (nl = summary.find('\n')) != std::string::npos;) {
            out += "      " + summary.substr(0, nl) + "\n";
            summary.erase(0, nl + 1);
        }
        out += "      " + summary + "\n";
        std::string own;
        for (const OptionGroup* g : c.groups) {
            if (isShared(g)) continue;
            for (const OptionSpec& o : g->options) own += " [" + optionText(o) + "]";
        }
        if (!own.empty()) out += "      options:" + own + "\n";
    }
    appendGroup(out, volumeOptionGroup());
    appendGroup(out, parseModeOptionGroup());
    out += std::string("\n") + kExitCodes;
    return out;
}

std::string commandHelp(const Command& c) {
    std::string out = std::string("usage: quarvell-cli ") + c.name + " " + c.arguments + "\n\n" + c.summary + "\n";
    for (const OptionGroup* g : c.groups) appendGroup(out, *g);
    out += std::string("\n") + kExitCodes;
    return out;
}

std::string checkArguments(const Command& c, const std::vector<std::string>& args) {
    CLI::App app(c.summary, std::string("quarvell-cli ") + c.name);
    app.set_help_flag();
    app.allow_extras();
    std::vector<std::string> positional;
    app.add_option("arguments", positional);
    for (const OptionGroup* g : c.groups)
        for (const OptionSpec& o : g->options) {
            if (app.get_option_no_throw(o.name)) continue;  // a name two groups share
            if (o.value) app.add_option(o.name, o.help)->type_name(o.value)->take_all();
            else app.add_flag(o.name, o.help);
        }
    // An option's value is the argument after it, whatever it looks like ("--pattern -2019").
    std::vector<std::string> tokens;
    for (size_t i = 0; i < args.size(); ++i) {
        const OptionSpec* o = findOption(c, args[i]);
        if (o && o->value) {
            if (i + 1 >= args.size()) return args[i] + " needs a value";
            tokens.push_back(args[i] + "=" + args[i + 1]);
            ++i;
        } else {
            tokens.push_back(args[i]);
        }
    }
    std::reverse(tokens.begin(), tokens.end());  // CLI11 takes the arguments last first
    try {
        app.parse(tokens);
    } catch (const CLI::ParseError&) {
        return std::string("invalid arguments (see quarvell-cli ") + c.name + " --help)";
    }
    for (const std::string& extra : app.remaining())
        if (extra.size() > 1 && extra[0] == '-') return "unknown option " + extra.substr(0, extra.find('='));
    return {};
}

}  // namespace quarvell::cli
