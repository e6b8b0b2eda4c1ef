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
#include "raw/CarvedFileSaver.h"
#include "common/InstallPaths.h"
#include "raw/SignatureLoader.h"
#include "report/DfxmlReport.h"
#include "report/SaveReportSession.h"
#include "scan/SaveWalk.h"

namespace quarvell::cli {

namespace {

namespace fs = std::filesystem;

int runCarve(std::vector<std::string>& argv) {
    std::vector<std::string> commandLine{"quarvell-cli", "carve"};
    commandLine.insert(commandLine.end(), argv.begin(), argv.end());
    ArgList args(argv);
    VolumeOptions volume = takeVolumeOptions(args);
    const bool noDefault = args.flag("--no-default");
    const std::vector<std::string> catalogues = args.values("--catalogue");
    const std::optional<std::string> out = args.value("--out");
    const std::optional<std::string> dfxml = args.value("--dfxml");
    const bool asJson = args.flag("--json");
    const bool allowSameDisk = args.flag("--allow-same-disk");
    std::vector<std::string> rest = args.positional();
    if (!args.ok()) return badInput(args.error());
    if (rest.size() != 1) return badInput("carve takes one IMAGE (see carve --help)");
    if (noDefault && catalogues.empty()) return badInput("--no-default leaves no signatures: add --catalogue FILE");
    if (out && out->empty()) return badInput("--out needs a folder");
    if (allowSameDisk && !out) return badInput("--allow-same-disk goes with --out");
    if (dfxml && !out) return badInput("--dfxml goes with --out");
    if (dfxml && (dfxml->empty() || dfxml->back() == '/')) return badInput("--dfxml needs a file name");
    std::error_code exists;
    if (dfxml && fs::symlink_status(*dfxml, exists).type() != fs::file_type::not_found)
        return badInput(*dfxml + " exists already; the report never replaces a file");

    CliSink sink;
    SourceMedium app;
    if (int rc = openMedium(rest[0], app)) return rc;
    int64_t origin = 0;
    VolumeEntry entry;
    int64_t size = int64_t(app.reader->mediumLength);
    if (volume.given()) {
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
        const fs::path reportFolder = dfxml ? fs::absolute(*dfxml).parent_path() : fs::path();
        if (dfxml)
            if (int rc = refuseSameDisk(rest[0], reportFolder.string(), allowSameDisk)) return rc;
        std::error_code ec;
        fs::create_directories(*out, ec);
        if (!fs::is_directory(*out, ec)) return badInput("cannot use the output folder " + *out);
        if (dfxml) fs::create_directories(reportFolder, ec);
    }
    std::unique_ptr<DfxmlReport> report;
    if (dfxml) {
        report = std::make_unique<DfxmlReport>();
        const ReportVolume carved{uint64_t(origin), uint64_t(size), entry.fileSystem};
        if (!beginMediumReport(*report, *dfxml,
                               {"quarvell-cli", QUARVELL_VERSION, shellCommandLine(commandLine), "Carve Report"},
                               rest[0], app.reader.get(), volume.given() ? &carved : nullptr))
            return failed(report->problem());
    }
    // The report of a stopped or failed run still tells what was saved before.
    const auto finishReport = [&](ReportOutcome outcome, int rc) {
        if (!report) return rc;
        if (!report->finish(outcome)) {
            std::fprintf(stderr, "quarvell-cli: %s\n", report->problem().c_str());
            return rc == kExitOk ? int(kExitFailed) : rc;
        }
        return rc;
    };

    myJpg& engine = *loader.engine;
    app.reader->volumeOrigin = origin;
    engine.reader = app.reader.get();
    engine.mediumSize = size;
    engine.sink = &sink;
    // The finds are listed from the engine's own compact list: no result tree is built.
    engine.tree = nullptr;
    WorkerControl& control = jobControl();
    engine.control = &control;
    sink.setStatus("Processing.....");
    if (!engine.carve())
        return finishReport(ReportOutcome::Failed, exitCodeAfterSignals(failed("the carving could not start")));
    if (control.aborted()) return finishReport(ReportOutcome::Stopped, exitCodeAfterSignals(kExitFailed));
    sink.setStatus("Processing done");

    int saveFailures = 0;
    int64_t saved = 0, incomplete = 0;
    std::unique_ptr<JsonArrayWriter> json;
    if (asJson) json = std::make_unique<JsonArrayWriter>();
    for (size_t i = 0; i < engine.carvedItems.size(); ++i) {
        const CarvedItem& item = engine.carvedItems[i];
        const std::string name = engine.carvedName(i);
        CarvedSaveResult result;
        const bool saving = out && !control.aborted();
        if (saving) {
            result = CarvedFileSaver::save(*app.reader, *out, name, item.start, item.length, control,
                                           asJson || bool(report));
            if (!result.ok) {
                ++saveFailures;
                std::fprintf(stderr, "quarvell-cli: %s\n", result.error.c_str());
            } else {
                ++saved;
                if (result.unreadableBytes > 0) {
                    ++incomplete;
                    std::fprintf(stderr, "quarvell-cli: %s: %lld unreadable bytes written as zeros\n",
                                 result.path.c_str(), static_cast<long long>(result.unreadableBytes));
                }
            }
            if (report) addCarvedItem(*report, name, engine.carvedCategory(i), item, origin, result.report);
        }
        if (json) {
            json->beginObject();
            json->field("name", name);
            json->field("category", engine.carvedCategory(i));
            json->field("offset", item.start);
            json->field("length", item.length);
            json->field("type", engine.formatText(i));
            json->field("exact", item.exact);
            if (saving) json->field("sha256", result.ok ? result.sha256 : std::string());
            json->endObject();
        } else {
            std::printf("%-24s  %-16s  offset %lld  length %lld  %s%s\n", name.c_str(), engine.carvedCategory(i).c_str(),
                        static_cast<long long>(item.start), static_cast<long long>(item.length),
                        engine.formatText(i).c_str(), item.exact ? "" : " (end not exact)");
        }
    }
    json.reset();
    if (!asJson) {
        // One closing line: finds per category, how many were saved, and where.
        std::string perCategory;
        for (const auto& [category, count] : engine.categoryCounts) {
            if (count == 0) continue;
            perCategory += (perCategory.empty() ? "" : ", ") + category + " " + std::to_string(count);
        }
        std::string line = std::to_string(engine.carvedItems.size()) + " files carved";
        if (!perCategory.empty()) line += " (" + perCategory + ")";
        if (out) line += ", " + std::to_string(saved) + " saved in " + *out;
        else line += ", none saved (--out DIR saves them)";
        std::printf("%s\n", line.c_str());
    }
    if (stopSignal() || control.aborted()) return finishReport(ReportOutcome::Stopped, exitCodeAfterSignals(kExitFailed));
    if (saveFailures > 0)
        return finishReport(ReportOutcome::Failed,
                            failed(std::to_string(saveFailures) + " carved files could not be saved"));
    // An approximate end is no loss; bytes the medium could not give are, in the report as in
    // the exit code.
    if (engine.findsOverUnreadable > 0)
        std::fprintf(stderr, "quarvell-cli: %lld finds span unreadable sectors\n",
                     static_cast<long long>(engine.findsOverUnreadable));
    SaveTotals totals;
    totals.filesSaved = uint64_t(saved);
    totals.filesIncomplete = uint64_t(incomplete);
    const bool lost = incomplete > 0 || engine.findsOverUnreadable > 0;
    return finishReport(saveOutcome(totals, false), lost ? kExitIncomplete : kExitOk);
}

const OptionGroup kCarveOptions{
    "Carve options",
    {
        {"--no-default", nullptr, "leave the default catalogue out (then --catalogue is needed)"},
        {"--catalogue", "FILE", "also carve by the signatures of this settings file (repeatable)"},
        {"--out", "DIR", "save every carved file into DIR (never on the medium carved)"},
        {"--allow-same-disk", nullptr, "with --out: save onto the medium being carved after a warning"},
        {"--dfxml", "FILE", "with --out: write a DFXML report of the files saved to FILE"},
        {"--json", nullptr, "one object per find: name, category, offset, length, type (the format\n"
                            "whose structure ended it, or \"signature\"), exact and, with --out, sha256"},
    }};

CommandRegistrar reg({"carve", "IMAGE [VOLUME-OPTIONS] [OPTIONS]",
                      "carve files by their signatures (the default catalogue, then each --catalogue FILE)\n"
                      "from the whole medium or from one volume",
                      {&volumeOptionGroup(), &kCarveOptions}, runCarve});

}  // namespace

}  // namespace quarvell::cli
