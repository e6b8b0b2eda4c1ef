#include "report/DfxmlReport.h"

#include "disk/FileReadSeek.h"

#include <fcntl.h>
#include <libxml/xmlwriter.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cctype>
#include <optional>

#include "disk/readWriteInterface.h"
#include "scan/SaveWalk.h"

#ifndef QUARVELL_VERSION
#define QUARVELL_VERSION "unknown"
#endif

namespace quarvell {

const char* reportOutcomeText(ReportOutcome outcome) {
    switch (outcome) {
        case ReportOutcome::Complete: return "complete";
        case ReportOutcome::Incomplete: return "incomplete";
        case ReportOutcome::Stopped: return "stopped";
        case ReportOutcome::Failed: break;
    }
    return "failed";
}

std::string sourceFormatName(const FileReadSeek* reader) { return reader ? reader->formatName() : "raw"; }

std::string isoUtcTime(int64_t seconds) {
    // Years 1 to 9999 of the proleptic Gregorian calendar.
    constexpr int64_t kFirst = -62135596800, kLast = 253402300799;
    if (seconds < kFirst || seconds > kLast) return {};
    const time_t t = time_t(seconds);
    struct tm parts {};
    if (!gmtime_r(&t, &parts)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::string shellCommandLine(const std::vector<std::string>& arguments) {
    std::string out;
    for (const std::string& a : arguments) {
        if (!out.empty()) out.push_back(' ');
        const bool plain = !a.empty() && std::all_of(a.begin(), a.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_./=:,+@%", c) != nullptr;
        });
        if (plain) {
            out += a;
            continue;
        }
        out.push_back('\'');
        for (char c : a) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        out.push_back('\'');
    }
    return out;
}

namespace {

// The length of the well-formed UTF-8 sequence of a character XML allows at text[at], or 0.
size_t xmlCharLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length;
    uint32_t code;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
    else return 0;
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(at + i) & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF) return 0;           // overlong or too large
    if ((code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) return 0;
    return length;
}

}  // namespace

std::string reportText(const std::string& text, bool inName) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const size_t length = xmlCharLength(text, at);
        if (length == 0 || c < 0x20 || c == 0x7F || c == '%' || (inName && c == '/')) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
            ++at;
            continue;
        }
        out.append(text, at, length);
        at += length;
    }
    return out;
}

struct DfxmlReport::State {
    std::string path;       // the final name
    std::string temporary;  // where it is written until finish()
    int fd = -1;
    xmlTextWriterPtr writer = nullptr;
    bool failed = false;
    bool finished = false;
    bool inVolume = false;
    std::string problem;
    uint64_t files = 0;

    ~State() { release(); }

    void release() {
        if (writer) xmlFreeTextWriter(writer);
        writer = nullptr;
        if (fd >= 0) ::close(fd);
        fd = -1;
        if (!finished && !temporary.empty()) ::unlink(temporary.c_str());
    }

    bool fail(const std::string& why) {
        if (!failed) problem = why;
        failed = true;
        return false;
    }
    // Every writer call goes through here: the first failure stops the report.
    bool check(int rc) {
        if (rc < 0 && !failed) fail("cannot write the report " + temporary + ": " + std::strerror(errno ? errno : EIO));
        return !failed;
    }

    void start(const char* name) {
        if (!failed) check(xmlTextWriterStartElement(writer, BAD_CAST name));
    }
    void end() {
        if (!failed) check(xmlTextWriterEndElement(writer));
    }
    void attribute(const char* name, const std::string& value) {
        if (!failed) check(xmlTextWriterWriteAttribute(writer, BAD_CAST name, BAD_CAST value.c_str()));
    }
    void attribute(const char* name, uint64_t value) { attribute(name, std::to_string(value)); }
    // An element holding text (made safe for XML).
    void element(const char* name, const std::string& text, bool inName = false) {
        if (failed) return;
        const std::string safe = reportText(text, inName);
        check(xmlTextWriterWriteElement(writer, BAD_CAST name, BAD_CAST safe.c_str()));
    }
    void element(const char* name, uint64_t value) { element(name, std::to_string(value)); }
    void time(const char* name, const std::optional<int64_t>& seconds) {
        if (!seconds) return;
        const std::string text = isoUtcTime(*seconds);
        if (!text.empty()) element(name, text);
    }

    void byteRun(uint64_t fileOffset, uint64_t length, const char* type, const std::optional<uint64_t>& fsOffset,
                 const std::optional<uint64_t>& imgOffset) {
        start("byte_run");
        attribute("file_offset", fileOffset);
        if (fsOffset) attribute("fs_offset", *fsOffset);
        if (imgOffset) attribute("img_offset", *imgOffset);
        attribute("len", length);
        if (type) {
            attribute("type", type);
            if (std::strcmp(type, "resident") != 0) attribute("fill", "0");
        }
        end();
    }

    // The file's bytes in file order, as the run writer lays them out: runs cut at the file's
    // size, the rest of the size missing.
    void byteRuns(const FileData& data) {
        if (data.produce && !data.resident) {
            element("q:decoded", "1");  // decoded from compressed units: no image byte runs
            return;
        }
        start("byte_runs");
        uint64_t at = 0;
        if (data.resident) {
            const uint64_t n = std::min<uint64_t>(data.resident->size(), data.size);
            if (n > 0) byteRun(0, n, "resident", std::nullopt, std::nullopt);
            at = n;
        } else {
            const uint64_t origin = data.source ? uint64_t(std::max<int64_t>(data.source->volumeOrigin, 0)) : 0;
            for (const DataRun& run : data.runs) {
                if (at >= data.size) break;
                const uint64_t n = std::min(run.length, data.size - at);
                if (n == 0) continue;
                switch (run.kind) {
                    case DataRun::Kind::Volume:
                        if (data.source && run.offset <= UINT64_MAX - origin)
                            byteRun(at, n, nullptr, run.offset, origin + run.offset);
                        else
                            byteRun(at, n, "missing", run.offset, std::nullopt);
                        break;
                    case DataRun::Kind::Hole: byteRun(at, n, "hole", std::nullopt, std::nullopt); break;
                    case DataRun::Kind::PastVolume: byteRun(at, n, "missing", std::nullopt, std::nullopt); break;
                }
                at += n;
            }
        }
        if (at < data.size) byteRun(at, data.size - at, "missing", std::nullopt, std::nullopt);
        end();
    }

    // What the writer did: hash, output, status and losses.
    void outcome(const SaveReport& report) {
        if (report.saved() && !report.sha256.empty()) {
            start("hashdigest");
            attribute("type", "sha256");
            if (!failed) check(xmlTextWriterWriteString(writer, BAD_CAST report.sha256.c_str()));
            end();
        }
        if (report.saved()) element("q:output_path", report.outputPath);
        element("q:status", saveStatusText(report.status));
        if (!report.problem.empty()) element("q:problem", report.problem);
        if (!report.saved()) return;
        element("q:unreadable_bytes", report.unreadableBytes);
        element("q:missing_bytes", report.missingBytes);
        if (report.unreadableRanges.empty()) return;
        start("q:unreadable_ranges");
        if (report.unreadableRangesCapped) attribute("capped", "1");
        for (const FileRange& r : report.unreadableRanges) {
            start("q:range");
            attribute("file_offset", r.offset);
            attribute("len", r.length);
            end();
        }
        end();
    }
};

DfxmlReport::DfxmlReport() : s_(std::make_unique<State>()) {}
DfxmlReport::~DfxmlReport() = default;

bool DfxmlReport::ok() const { return !s_->failed; }
const std::string& DfxmlReport::problem() const { return s_->problem; }
uint64_t DfxmlReport::fileCount() const { return s_->files; }

bool DfxmlReport::begin(const std::string& path, const ReportCreator& creator, const ReportSource& source) {
    State& s = *s_;
    if (s.writer || s.failed) return s.fail("the report was begun already");
    s.path = path;
    struct stat st;
    if (path.empty() || path.back() == '/') return s.fail("the report needs a file name");
    if (::lstat(path.c_str(), &st) == 0) return s.fail(path + " exists already; the report never replaces a file");
    const size_t cut = path.rfind('/');
    const std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
    const std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
    std::string pattern = (folder == "/" ? "" : folder) + "/." + base.substr(0, 200) + ".part-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    s.fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (s.fd < 0) return s.fail("cannot create the report in " + folder + ": " + std::strerror(errno));
    s.temporary = buf.data();
    ::fchmod(s.fd, 0644);
    xmlOutputBufferPtr out = xmlOutputBufferCreateFd(s.fd, nullptr);  // leaves the descriptor open
    if (out) s.writer = xmlNewTextWriter(out);
    if (!s.writer) {
        if (out) xmlOutputBufferClose(out);
        return s.fail("cannot start the report " + path);
    }
    s.check(xmlTextWriterSetIndent(s.writer, 1));
    s.check(xmlTextWriterSetIndentString(s.writer, BAD_CAST "  "));
    s.check(xmlTextWriterStartDocument(s.writer, "1.0", "UTF-8", nullptr));
    s.start("dfxml");
    s.attribute("xmlns", kDfxmlNamespace);
    s.attribute("xmlns:dc", "http://purl.org/dc/elements/1.1/");
    s.attribute("xmlns:q", kReportNamespace);
    s.attribute("version", "1.1.0");

    s.start("metadata");
    s.element("dc:type", creator.reportType.empty() ? "Recovery Report" : creator.reportType);
    s.end();

    s.start("creator");
    s.element("program", creator.program);
    s.element("version", creator.version.empty() ? QUARVELL_VERSION : creator.version);
    s.start("execution_environment");
    struct utsname names;
    if (::uname(&names) == 0) {
        s.element("os_sysname", names.sysname);
        s.element("os_release", names.release);
        s.element("os_version", names.version);
        s.element("host", names.nodename);
        s.element("arch", names.machine);
    }
    s.element("command_line", creator.commandLine);
    s.element("uid", uint64_t(::getuid()));
    s.element("start_time", isoUtcTime(int64_t(std::time(nullptr))));
    s.end();
    s.end();

    s.start("source");
    s.element("image_filename", source.imagePath);
    s.element("image_size", source.imageSize);
    s.element("q:image_format", source.format);
    s.end();
    return s.check(xmlTextWriterFlush(s.writer));
}

void DfxmlReport::beginVolume(const ReportVolume& volume) {
    State& s = *s_;
    if (!s.writer || s.inVolume) return;
    s.start("volume");
    s.attribute("offset", volume.offset);
    s.element("sector_size", uint64_t(512));
    if (!volume.fileSystem.empty()) s.element("ftype_str", volume.fileSystem);
    s.element("q:length", volume.length);
    s.inVolume = true;
}

void DfxmlReport::endVolume() {
    State& s = *s_;
    if (!s.writer || !s.inVolume) return;
    s.end();
    s.inVolume = false;
}

void DfxmlReport::addFile(const std::vector<std::string>& names, bool deleted, const FileData& data,
                          const SaveReport& report) {
    State& s = *s_;
    if (!s.writer || s.failed) return;
    std::string path;
    for (const std::string& n : names) path += (path.empty() ? "" : "/") + reportText(n, true);
    s.start("fileobject");
    if (!s.failed) s.check(xmlTextWriterWriteElement(s.writer, BAD_CAST "filename", BAD_CAST path.c_str()));
    s.element("name_type", "r");
    s.element("filesize", data.size);
    s.element(deleted ? "unalloc" : "alloc", "1");
    s.time("mtime", data.modificationTime);
    s.time("atime", data.accessTime);
    if (data.unsupported.empty()) s.byteRuns(data);
    s.outcome(report);
    s.end();
    ++s.files;
    // A report of a stopped run keeps every file written so far.
    if (s.files % 64 == 0 && !s.failed) s.check(xmlTextWriterFlush(s.writer));
}

void DfxmlReport::addSaved(const std::vector<std::string>& base, const SavedFile& file) {
    std::vector<std::string> names = base;
    names.insert(names.end(), file.names.begin(), file.names.end());
    addFile(names, file.deleted, file.data, file.report);
}

void DfxmlReport::addCarved(const std::string& name, const std::string& category, uint64_t imageOffset,
                            uint64_t fsOffset, uint64_t length, const SaveReport& report) {
    State& s = *s_;
    if (!s.writer || s.failed) return;
    s.start("fileobject");
    s.element("filename", name, true);
    s.element("name_type", "r");
    s.element("filesize", length);
    if (length > 0) {
        s.start("byte_runs");
        s.byteRun(0, length, nullptr, fsOffset, imageOffset);
        s.end();
    }
    s.outcome(report);
    s.element("q:category", category);
    s.end();
    ++s.files;
    if (s.files % 64 == 0 && !s.failed) s.check(xmlTextWriterFlush(s.writer));
}

bool DfxmlReport::finish(ReportOutcome outcome) {
    State& s = *s_;
    if (!s.writer) return s.fail(s.problem.empty() ? "the report was not begun" : s.problem);
    endVolume();
    s.start("q:summary");
    s.element("q:end_time", isoUtcTime(int64_t(std::time(nullptr))));
    s.element("q:outcome", reportOutcomeText(outcome));
    s.element("q:file_count", s.files);
    s.end();
    s.end();  // dfxml
    if (!s.failed) s.check(xmlTextWriterEndDocument(s.writer));
    if (!s.failed) s.check(xmlTextWriterFlush(s.writer));
    xmlFreeTextWriter(s.writer);
    s.writer = nullptr;
    if (s.failed) return false;
    if (::fsync(s.fd) != 0) return s.fail("cannot write the report " + s.temporary + ": " + std::strerror(errno));
    const int fd = s.fd;
    s.fd = -1;
    if (::close(fd) != 0) return s.fail("cannot write the report " + s.temporary + ": " + std::strerror(errno));
    if (::renameat2(AT_FDCWD, s.temporary.c_str(), AT_FDCWD, s.path.c_str(), RENAME_NOREPLACE) != 0) {
        bool named = false;
        if (errno == EINVAL || errno == ENOSYS) {
            // File systems without the flag: a hard link refuses an existing name just the same.
            named = ::link(s.temporary.c_str(), s.path.c_str()) == 0;
            if (named) ::unlink(s.temporary.c_str());
        }
        if (!named) {
            s.finished = true;  // whole: kept under its temporary name
            return s.fail("cannot name the report " + s.path + " (" + std::strerror(errno) + "); it is in " +
                          s.temporary);
        }
    }
    s.finished = true;
    return true;
}

}  // namespace quarvell
