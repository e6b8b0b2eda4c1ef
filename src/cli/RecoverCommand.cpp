// recover: saves a folder of the result tree by the save walk, or a file by the quick save,
// into an output folder; "ROOT" saves every top-level item.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/CliCommand.h"
#include "cli/CliSink.h"
#include "cli/JobControl.h"
#include "cli/LeftOut.h"
#include "cli/Json.h"
#include "cli/OutputGuard.h"
#include "cli/TreePath.h"
#include "cli/VolumeSession.h"
#include "common/TextFormat.h"
#include "fs/OutputPath.h"
#include "report/DfxmlReport.h"
#include "report/SaveReportSession.h"
#include "scan/SaveWalk.h"

namespace quarvell::cli {

namespace {

// Creates the output folder and its missing parents.
bool makeFolders(const std::string& path, std::string& problem) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            problem = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        problem = path + " is not a folder";
        return false;
    }
    return true;
}

void add(SaveTotals& sum, const SaveTotals& one) {
    sum.ran = sum.ran || one.ran;
    sum.filesSaved += one.filesSaved;
    sum.filesFailed += one.filesFailed;
    sum.filesIncomplete += one.filesIncomplete;
    sum.leftOutTooDeep += one.leftOutTooDeep;
    sum.leftOutCycles += one.leftOutCycles;
}

// One JSON object per file tried, in the order they were saved.
struct ReportPrinter {
    std::unique_ptr<JsonArrayWriter> json;
    std::string base;  // the escaped tree path the names below continue

    void print(const std::vector<std::string>& names, const SaveReport& r) {
        if (!json) return;
        std::vector<std::string> parts;
        if (!base.empty()) parts.push_back(base);
        for (const std::string& n : names) parts.push_back(escapePathText(n));
        json->beginObject();
        json->field("path", joinPath(parts));
        json->field("output", r.outputPath);
        json->field("size", r.bytesWritten);
        json->field("sha256", r.sha256);
        json->field("unreadableBytes", r.unreadableBytes);
        json->field("missingBytes", r.missingBytes);
        json->field("status", saveStatusText(r.status));
        if (r.overwritten) json->field("overwritten", true);
        json->endObject();
    }
};

// The folder a file lies in ("." for a bare name).
std::string folderOf(const std::string& file) {
    const size_t cut = file.rfind('/');
    return cut == std::string::npos ? "." : cut == 0 ? "/" : file.substr(0, cut);
}

std::string summary(const SaveTotals& t, const std::string& out) {
    std::string text = format("%llu files saved in %s", static_cast<unsigned long long>(t.filesSaved), out.c_str());
    if (t.filesIncomplete) text += format(", %llu incomplete", static_cast<unsigned long long>(t.filesIncomplete));
    if (t.filesFailed) text += format(", %llu could not be saved", static_cast<unsigned long long>(t.filesFailed));
    return text + leftOutText(t.leftOutTooDeep, t.leftOutCycles);
}

int runRecover(std::vector<std::string>& argv) {
    std::vector<std::string> commandLine{"quarvell-cli", "recover"};
    commandLine.insert(commandLine.end(), argv.begin(), argv.end());
    ArgList args(argv);
    const auto path = args.value("--path");
    const auto dfxml = args.value("--dfxml");
    const auto out = args.value("--out");
    const bool yes = args.flag("--yes");
    const bool asJson = args.flag("--json");
    const bool allowSameDisk = args.flag("--allow-same-disk");
    VolumeSession session;
    takeSessionOptions(args, session);
    if (!args.ok()) return badInput(args.error());
    if (!path || path->empty()) return badInput("--path is required (a path as ls prints it, or ROOT)");
    if (!out || out->empty()) return badInput("--out is required");
    if (dfxml && (dfxml->empty() || dfxml->back() == '/')) return badInput("--dfxml needs a file name");
    struct stat existing;
    if (dfxml && ::lstat(dfxml->c_str(), &existing) == 0)
        return badInput(*dfxml + " exists already; the report never replaces a file");
    std::string problem;

    CliSink sink(yes || asJson);
    WorkerControl& control = jobControl();
    if (int rc = openAndParse(args, session, sink, control)) return exitCodeAfterSignals(rc);
    // Decided before anything, even the output folder, is created on the medium.
    if (int rc = refuseSameDisk(session.image, *out, allowSameDisk)) return rc;
    if (dfxml)
        if (int rc = refuseSameDisk(session.image, folderOf(*dfxml), allowSameDisk)) return rc;
    // Questions are answered on a terminal only: without one, a folder's question could only be
    // answered No, and the run would save a fraction of what was asked.
    if (!yes && !asJson && ::isatty(STDIN_FILENO) != 1) return badInput("no terminal to ask: use --yes");
    if (!makeFolders(*out, problem)) return badInput(problem);
    if (dfxml && !makeFolders(folderOf(*dfxml), problem)) return badInput(problem);
    if (stopSignal()) return exitCodeAfterSignals(kExitFailed);
    ResultTree& tree = session.tree;
    EntryAdapter& adapter = *session.parsed.adapter;
    SaveWalk saver(tree, adapter, sink, control);
    ReportPrinter printer;
    if (asJson) printer.json = std::make_unique<JsonArrayWriter>();
    saver.onFile([&](const std::vector<std::string>& names, const SaveReport& r) { printer.print(names, r); }, asJson);

    // The whole volume: each top-level folder into a folder of its name, each top-level file
    // by the quick save, so the volume's structure is kept.
    std::vector<TreeItem> items;
    const TreeItem top = tree.rootItem();
    const bool wholeVolume = top != kNoItem && *path == escapePathText(tree.itemText(top));
    if (wholeVolume) {
        // Entries the save walk does not visit (a root's own ".") are not saved either.
        for (TreeItem c = tree.firstChild(top); c != kNoItem; c = tree.nextSibling(c))
            if (adapter.isWalked(tree.itemData(c))) items.push_back(c);
    } else {
        TreeItem item = findItemByPath(tree, adapter, *path);
        if (item == kNoItem) return badInput("no item " + *path + " in the volume's tree (see ls)");
        items.push_back(item);
    }
    std::unique_ptr<DfxmlReport> report;
    std::vector<std::string> reportBase;  // the names the walk's names continue
    if (dfxml) {
        report = std::make_unique<DfxmlReport>();
        const ReportVolume volume = reportVolumeOf(session.volume);
        if (!beginMediumReport(*report, *dfxml,
                               {"quarvell-cli", QUARVELL_VERSION, shellCommandLine(commandLine), "Recovery Report"},
                               session.image, session.medium.reader.get(), &volume))
            return failed(report->problem());
        reportEveryFile(saver, *report, reportBase);
    }
    SaveTotals totals;
    for (TreeItem item : items) {
        if (control.aborted()) break;
        const EntryKey key = tree.itemData(item);
        const std::string name = adapter.name(key);
        if (!adapter.isFolder(key)) {
            // A file's own path is what the names continue: its parent's path.
            const size_t cut = path->rfind('/');
            printer.base = wholeVolume ? *path : (cut == std::string::npos ? "" : path->substr(0, cut));
            reportBase = reportNamesBelowTop(tree, tree.parentItem(item));
            add(totals, saver.quickSave(item, *out));
            continue;
        }
        std::string target = *out;
        printer.base = *path;
        reportBase = reportNamesBelowTop(tree, item);
        if (wholeVolume) {
            printer.base = *path + "/" + escapePathText(name);
            target = ensureSubfolder(*out, trim(name), problem);
            if (target.empty()) {
                sink.setStatus(problem);
                totals.filesFailed += saver.countFiles(key);
                continue;
            }
        }
        add(totals, saver.saveSelection(item, target));
    }
    printer.json.reset();
    std::fprintf(stderr, "%s\n", summary(totals, *out).c_str());
    const ReportOutcome outcome =
        saveOutcome(totals, stopSignal() || control.aborted(), session.parsed.unreadableMetadata);
    int rc = kExitOk;
    switch (outcome) {
        case ReportOutcome::Stopped: rc = exitCodeAfterSignals(kExitFailed); break;
        case ReportOutcome::Failed: rc = kExitFailed; break;
        case ReportOutcome::Incomplete: rc = kExitIncomplete; break;
        case ReportOutcome::Complete: break;
    }
    if (report) {
        // A stopped run's report still tells what was saved before the stop.
        if (!report->finish(outcome)) {
            std::fprintf(stderr, "quarvell-cli: %s\n", report->problem().c_str());
            if (rc == kExitOk || rc == kExitIncomplete) rc = kExitFailed;
        } else {
            std::fprintf(stderr, "report of %llu files in %s\n", static_cast<unsigned long long>(report->fileCount()),
                         dfxml->c_str());
        }
    }
    return rc;
}

const OptionGroup kRecoverOptions{
    "Recover options",
    {
        {"--path", "PATH", "the folder (with its sub-folders) or file to save, as ls prints it;\nROOT saves the whole volume"},
        {"--out", "DIR", "the folder the files are saved into (never on the medium read)"},
        {"--yes", nullptr, "answer the file-count question with Yes"},
        {"--json", nullptr, "one object per file: path, output, size, sha256, unreadableBytes,\nmissingBytes, status; overwritten: true for a deleted file whose blocks\nwere allocated again"},
        {"--dfxml", "FILE", "write a DFXML report of every file tried to FILE (a new file, never\non the medium read)"},
        {"--allow-same-disk", nullptr, "save onto the medium being read after a warning"},
    }};

CommandRegistrar reg({"recover", "IMAGE VOLUME-OPTIONS --path PATH --out DIR [OPTIONS]",
                      "save a folder (with its sub-folders) or a file of the volume",
                      {&volumeOptionGroup(), &parseModeOptionGroup(), &kRecoverOptions}, runRecover});

}  // namespace

}  // namespace quarvell::cli
