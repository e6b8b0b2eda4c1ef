// ls: every item of a volume's result tree below "ROOT", folders opened through the lazy
// expansion, as text rows or a JSON array.
#include <cstdio>
#include <memory>

#include "cli/CliCommand.h"
#include "cli/CliSink.h"
#include "cli/JobControl.h"
#include "cli/LeftOut.h"
#include "cli/Json.h"
#include "cli/TreePath.h"
#include "cli/VolumeSession.h"
#include "scan/LazyTree.h"

namespace quarvell::cli {

namespace {

struct Lister {
    ResultTree& tree;
    const EntryAdapter& adapter;
    std::unique_ptr<JsonArrayWriter> json;
    uint64_t folders = 0, files = 0;
    uint64_t leftOutTooDeep = 0, leftOutLoops = 0;  // folders not opened

    void row(TreeItem item, const std::string& path, EntryKey parentKey) {
        const EntryKey key = tree.itemData(item);
        const bool folder = adapter.isFolder(key);
        const bool deleted = adapter.isDeleted(key, parentKey);
        const std::string size = adapter.sizeText(key);
        const EntryTexts t = adapter.texts(key);
        ++(folder ? folders : files);
        if (json) {
            json->beginObject();
            json->field("path", path);
            json->field("folder", folder);
            json->field("deleted", deleted);
            json->field("size", size);
            json->field("creation", t.creation);
            json->field("access", t.access);
            json->field("modification", t.modification);
            json->field("attributes", t.attributes);
            if (!t.deletion.empty()) json->field("deletion", t.deletion);
            json->endObject();
        } else {
            std::printf("%c%c %12s  %-20s  %-10s  %s\n", folder ? 'd' : '-', deleted ? '*' : ' ', size.c_str(),
                        t.modification.c_str(), t.attributes.c_str(), path.c_str());
        }
    }

    void walk(TreeItem folder, const std::string& path) {
        expandFolder(tree, adapter, folder, false);
        const EntryKey key = tree.itemData(folder);
        for (TreeItem c = tree.firstChild(folder); c != kNoItem; c = tree.nextSibling(c)) {
            if (isPlaceholder(tree, c)) continue;
            const std::string childPath = path + "/" + escapePathText(tree.itemText(c));
            row(c, childPath, key);
            const EntryKey childKey = tree.itemData(c);
            if (!adapter.isFolder(childKey)) continue;
            switch (folderReach(tree, c)) {
                case FolderReach::Open: walk(c, childPath); break;
                case FolderReach::Loop:
                    // The volume root listing itself (its ".") is no loss.
                    if (adapter.isWalked(childKey) && !(childKey == key && tree.parentItem(folder) == kNoItem))
                        ++leftOutLoops;
                    break;
                case FolderReach::TooDeep:
                    if (adapter.hasChildren(childKey)) ++leftOutTooDeep;
                    break;
            }
        }
    }
};

int runLs(std::vector<std::string>& argv) {
    ArgList args(argv);
    const bool asJson = args.flag("--json");
    VolumeSession session;
    takeSessionOptions(args, session);
    session.mayListCandidates = true;
    session.candidatesJson = asJson;
    CliSink sink;
    if (int rc = openAndParse(args, session, sink, jobControl())) return exitCodeAfterSignals(rc);
    if (session.listedCandidates) return exitCodeAfterSignals(kExitOk);
    Lister lister{session.tree, *session.parsed.adapter, nullptr};
    if (asJson) lister.json = std::make_unique<JsonArrayWriter>();
    for (TreeItem top = session.tree.rootItem(); top != kNoItem; top = session.tree.nextSibling(top))
        lister.walk(top, escapePathText(session.tree.itemText(top)));
    lister.json.reset();
    std::fprintf(stderr, "%llu folders and %llu files listed%s\n", static_cast<unsigned long long>(lister.folders),
                 static_cast<unsigned long long>(lister.files),
                 leftOutText(lister.leftOutTooDeep, lister.leftOutLoops).c_str());
    if (stopSignal()) return exitCodeAfterSignals(kExitFailed);
    const bool lost = session.parsed.unreadableMetadata > 0 || lister.leftOutTooDeep > 0 || lister.leftOutLoops > 0;
    return lost ? kExitIncomplete : kExitOk;
}

const OptionGroup kLsOptions{"Listing options", {{"--json", nullptr, "one object per entry"}}};

CommandRegistrar reg({"ls", "IMAGE VOLUME-OPTIONS [OPTIONS]",
                      "list every folder and file of the volume; --mode advanced without --candidate\n"
                      "lists the copies of the key structures found",
                      {&volumeOptionGroup(), &parseModeOptionGroup(), &kLsOptions}, runLs});

}  // namespace

}  // namespace quarvell::cli
