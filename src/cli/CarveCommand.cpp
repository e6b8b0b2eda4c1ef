// carve: raw recovery of a volume (or the whole medium) by the signature catalogues, listing
// every carved file and, with --out, saving each one into a folder.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "disk/SourceMedium.h"
#include "cli/CliCommand.h"
#include "cli/CliSink.h"
#include "cli/JobControl.h"
#include "cli/Json.h"
#include "cli/OutputGuard.h"
#include "cli/VolumeOptions.h"
#include "controls/MemoryTree.h"
#include "raw/CarvedFileSaver.h"
#include "common/InstallPaths.h"
#include "raw/SignatureLoader.h"

namespace quarvell::cli {

namespace {

namespace fs = std::filesystem;

int runCarve(std::vector<std::string>& argv) {
    ArgList args(argv);
    VolumeOptions volume = takeVolumeOptions(args);
    const bool noDefault = args.flag("--no-default");
    const std::vector<std::string> catalogues = args.values("--catalogue");
    const std::optional<std::string> out = args.value("--out");
    const bool asJson = args.flag("--json");
    const bool allowSameDisk = args.flag("--allow-same-disk");
    std::vector<std::string> rest = args.positional();
    if (!args.ok()) return badInput(args.error());
    if (rest.size() != 1) return badInput("carve takes one IMAGE (see carve --help)");
    if (noDefault && catalogues.empty()) return badInput("--no-default leaves no signatures: add --catalogue FILE");
    if (out && out->empty()) return badInput("--out needs a folder");
    if (allowSameDisk && !out) return badInput("--allow-same-disk goes with --out");

    CliSink sink;
    SourceMedium app;
    if (int rc = openMedium(rest[0], app)) return rc;
    int64_t origin = 0;
    int64_t size = int64_t(app.reader->mediumLength);
    if (volume.given()) {
        VolumeEntry entry;
        if (int rc = resolveVolume(volume, app, sink, entry)) return rc;
        origin = entry.startSector * 512;
        size = std::min<int64_t>(int64_t(entry.lengthInBytes()), size - origin);
    }
    if (size <= 0) return failed("zero size volume..");

    SignatureLoader loader(&sink);
    if (!noDefault) {
        std::string path = defaultCataloguePath();
        loader.loadDefaultSignatures(path);
        if (loader.numberingBase() == 0) std::fprintf(stderr, "quarvell-cli: no default catalogue at %s\n", path.c_str());
    }
    for (const auto& file : catalogues)
        if (!loader.loadSignatureFile(file)) return badInput("cannot use the catalogue " + file);
    if (!loader.engine || loader.engine->signatures.empty()) return failed("no signatures to carve with");

    if (out) {
        // Carving a medium into itself would overwrite what is being carved (and carve its own
        // output): decided before anything, even the folder, is created there.
        if (int rc = refuseSameDisk(rest[0], *out, allowSameDisk)) return rc;
        std::error_code ec;
        fs::create_directories(*out, ec);
        if (!fs::is_directory(*out, ec)) return badInput("cannot use the output folder " + *out);
    }

    MemoryTree tree;
    myJpg& engine = *loader.engine;
    app.reader->volumeOrigin = origin;
    engine.reader = app.reader.get();
    engine.mediumSize = size;
    engine.sink = &sink;
    engine.tree = &tree;
    WorkerControl& control = jobControl();
    engine.control = &control;
    sink.setStatus("Processing.....");
    if (!engine.carve()) return exitCodeAfterSignals(failed("the carving could not start"));
    if (control.aborted()) return exitCodeAfterSignals(kExitFailed);
    sink.setStatus("Processing done");

    int saveFailures = 0;
    std::unique_ptr<JsonArrayWriter> json;
    if (asJson) json = std::make_unique<JsonArrayWriter>();
    for (size_t i = 0; i < engine.carvedItems.size(); ++i) {
        const CarvedItem& item = engine.carvedItems[i];
        const std::string name = engine.carvedName(i);
        if (json) {
            json->beginObject();
            json->field("name", name);
            json->field("category", engine.carvedCategory(i));
            json->field("offset", item.start);
            json->field("length", item.length);
            json->endObject();
        } else {
            std::printf("%-24s  %-16s  offset %lld  length %lld\n", name.c_str(), engine.carvedCategory(i).c_str(),
                        static_cast<long long>(item.start), static_cast<long long>(item.length));
        }
        if (!out || control.aborted()) continue;
        CarvedSaveResult saved = CarvedFileSaver::save(*app.reader, *out, name, item.start, item.length, control);
        if (!saved.ok) {
            ++saveFailures;
            std::fprintf(stderr, "quarvell-cli: %s\n", saved.error.c_str());
        } else if (saved.unreadableBytes > 0) {
            std::fprintf(stderr, "quarvell-cli: %s: %lld unreadable bytes written as zeros\n", saved.path.c_str(),
                         static_cast<long long>(saved.unreadableBytes));
        }
    }
    json.reset();
    if (stopSignal()) return exitCodeAfterSignals(kExitFailed);
    if (saveFailures > 0) return failed(std::to_string(saveFailures) + " carved files could not be saved");
    return kExitOk;
}

CommandRegistrar reg("carve",
                     "  carve IMAGE [VOLUME-OPTIONS] [--no-default] [--catalogue FILE]... [--out DIR [--allow-same-disk]]\n"
                     "      [--json]\n"
                     "      carve files by their signatures (the default catalogue, then each FILE);\n"
                     "      --out saves every carved file into DIR (never on the medium carved, unless\n"
                     "      --allow-same-disk)",
                     runCarve);

}  // namespace

}  // namespace quarvell::cli
