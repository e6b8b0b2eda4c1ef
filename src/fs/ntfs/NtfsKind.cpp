#include "fs/ntfs/NtfsKind.h"

#include <memory>

#include "common/UiSink.h"
#include "disk/readWriteInterface.h"
#include "fs/ntfs/NtfsEntryAdapter.h"
#include "fs/ntfs/NtfsProbe.h"
#include "fs/ntfs/ntfs.h"

namespace quarvell {

namespace {

constexpr const char* kStartStatus = "ntfs partition selected....";

std::unique_ptr<ntfs> makeParser(const ParseRequest& request) {
    auto p = std::make_unique<ntfs>();
    p->volume = request.volume;
    p->reader = &request.reader;
    p->tree = &request.tree;
    p->sink = &request.sink;
    p->control = &request.control;
    p->parseMode = request.mode;
    return p;
}

bool validSectorsPerCluster(int n) { return n == 0 || n == 8 || n == 4 || n == 2 || n == 16 || n == 32 || n == 64; }

ParseResult parseNtfs(const ParseRequest& request) {
    ParseResult out;
    if (request.mode == ParseMode::Advanced && !validSectorsPerCluster(request.advanced.sectorsPerCluster)) {
        out.failure = "sectors per cluster must be one of 8, 4, 2, 16, 32, 64";
        return out;
    }
    auto owned = makeParser(request);
    ntfs& p = *owned;
    out.adapter = std::make_unique<NtfsEntryAdapter>(std::move(owned));
    request.sink.setStatus(kStartStatus);
    p.attachVolume();
    if (!p.readNtfsBootSector()) {
        out.failure = "the NTFS volume has no size";
        return out;
    }
    switch (request.mode) {
        case ParseMode::Standard:
            request.sink.setStatus(" ParsingBasedOnMFT is going on....");
            p.locateMftFromBootSector();
            break;
        case ParseMode::Deep:
            request.sink.setStatus(" scanning for mft entries in deep mode ....");
            p.scanVolumeForMftRecords();
            break;
        case ParseMode::Advanced:
            if (request.advanced.candidate < 0 || !p.selectMftCandidate(uint32_t(request.advanced.candidate))) {
                out.failure = "no MFT at that candidate";
                return out;
            }
            p.setSectorsPerCluster(uint32_t(request.advanced.sectorsPerCluster));
            break;
    }
    p.loadMftRecords();
    if (!p.buildNtfsTree()) {
        out.failure = request.mode == ParseMode::Deep ? "no MFT records were found"
                                                     : "no MFT with the volume's root folder was found (the deep mode looks for the records themselves)";
        return out;
    }
    out.completed = true;
    out.unreadableMetadata = p.unreadableMetadata();
    if (out.unreadableMetadata > 0)
        request.sink.setStatus(std::to_string(out.unreadableMetadata) + " bytes of MFT records could not be read and were skipped");
    return out;
}

CandidateSearch findNtfsCandidates(const ParseRequest& request, int maxCandidates) {
    CandidateSearch out;
    auto p = makeParser(request);
    if (request.reader.volumeOrigin != request.volume.startSector * 512)
        request.reader.volumeOrigin = request.volume.startSector * 512;
    p->readNtfsBootSector();
    out.primary = p->findMftCandidates(uint64_t(maxCandidates < 1 ? 3 : maxCandidates));
    out.completed = true;
    return out;
}

}  // namespace

FileSystemKind ntfsKind() {
    FileSystemKind kind;
    kind.id = "ntfs";
    kind.labels = {"ntfs"};
    kind.modes = ModeOffer{true, true, true, false};
    kind.marksDeleted = true;
    kind.startStatus = kStartStatus;
    kind.restoresRecycleBin = true;
    kind.treatAsPlace = 1;
    kind.probe = probeNtfs;
    kind.parse = parseNtfs;
    kind.findCandidates = findNtfsCandidates;
    return kind;
}

}  // namespace quarvell
