// recover: saves a folder of the result tree by the save walk, or a file by the quick save,
// into an output folder; "ROOT" saves every top-level item.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "cli/CliCommand.h"
#include "cli/CliSink.h"
#include "cli/TreePath.h"
#include "cli/VolumeSession.h"
#include "common/TextFormat.h"
#include "scan/OutputPath.h"
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
}

int runRecover(std::vector<std::string>& argv) {
    ArgList args(argv);
    const auto path = args.value("--path");
    const auto out = args.value("--out");
    const bool yes = args.flag("--yes");
    VolumeSession session;
    takeSessionOptions(args, session);
    if (!args.ok()) return badInput(args.error());
    if (!path || path->empty()) return badInput("--path is required (a path as ls prints it, or ROOT)");
    if (!out || out->empty()) return badInput("--out is required");
    std::string problem;
    if (!makeFolders(*out, problem)) return badInput(problem);

    CliSink sink(yes);
    if (int rc = openAndParse(args, session, sink)) return rc;
    ResultTree& tree = session.tree;
    EntryAdapter& adapter = *session.parsed.adapter;
    WorkerControl control;
    SaveWalk saver(tree, adapter, sink, control);

    // The whole volume: each top-level folder into a folder of its name, each top-level file
    // by the quick save, so the volume's structure is kept.
    std::vector<TreeItem> items;
    const TreeItem top = tree.rootItem();
    const bool wholeVolume = top != kNoItem && *path == escapePathText(tree.itemText(top));
    if (wholeVolume) {
        for (TreeItem c = tree.firstChild(top); c != kNoItem; c = tree.nextSibling(c)) items.push_back(c);
    } else {
        TreeItem item = findItemByPath(tree, adapter, *path);
        if (item == kNoItem) return badInput("no item " + *path + " in the volume's tree (see ls)");
        items.push_back(item);
    }
    SaveTotals totals;
    for (TreeItem item : items) {
        const EntryKey key = tree.itemData(item);
        if (!adapter.isFolder(key)) {
            add(totals, saver.quickSave(item, *out));
            continue;
        }
        std::string target = *out;
        if (wholeVolume) {
            target = ensureSubfolder(*out, trim(adapter.name(key)), problem);
            if (target.empty()) {
                sink.setStatus(problem);
                totals.filesFailed += saver.countFiles(key);
                continue;
            }
        }
        add(totals, saver.saveSelection(item, target));
    }
    if (totals.filesFailed > 0)
        return failed(std::to_string(totals.filesFailed) + " files could not be saved");
    return kExitOk;
}

CommandRegistrar reg("recover",
                     "  recover IMAGE VOLUME-OPTIONS [--mode standard|deep] --path PATH --out DIR [--yes]\n"
                     "      save a folder (with its sub-folders) or a file; --path ROOT saves the whole volume",
                     runRecover);

}  // namespace

}  // namespace quarvell::cli
