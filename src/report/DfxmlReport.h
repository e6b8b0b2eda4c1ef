#pragma once
// A Digital Forensics XML report of one recovery or carving run: the medium read, the program
// and its command line, the start and end times, and per file its path on the volume, size,
// times, deleted mark, where its bytes lie on the image (byte runs), the SHA-256 of the bytes
// written, where it was written, and which of its bytes could not be read. Elements of our own
// are in kReportNamespace (prefix "q"); resources/dfxml/quarvell-dfxml.xsd describes it all.
//
// The report streams (bounded memory for any number of files) into a temporary file beside
// the report's name, which is renamed to that name only by finish(): a run that ends any other
// way leaves no half report under the final name, and an existing file is never replaced.
// Text the XML cannot carry (control characters, bytes that are not UTF-8) and "%" itself are
// written as %XX; in file names "/" inside a name is %2F as well.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fs/FileData.h"
#include "fs/SaveReport.h"

namespace quarvell {

struct SavedFile;

inline constexpr const char* kDfxmlNamespace = "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML";
inline constexpr const char* kReportNamespace = "urn:quarvell:recovery-report:1";

struct ReportSource {
    std::string imagePath;
    uint64_t imageSize = 0;
    std::string format = "raw";  // see sourceFormatName
};

struct ReportCreator {
    std::string program;      // the program's name as its users call it
    std::string version;      // the program's version
    std::string commandLine;  // how it was started
    std::string reportType;   // the report's kind ("Recovery Report", "Carve Report")
};

struct ReportVolume {
    uint64_t offset = 0;  // the volume's first byte on the image
    uint64_t length = 0;
    std::string fileSystem;  // the file system's label ("NTFS"), empty when not known
};

// How a run ended, as the report's summary gives it.
enum class ReportOutcome { Complete, Incomplete, Failed, Stopped };
const char* reportOutcomeText(ReportOutcome outcome);  // "complete", "incomplete", "failed", "stopped"

class DfxmlReport {
public:
    DfxmlReport();
    ~DfxmlReport();  // an unfinished report's temporary file is removed
    DfxmlReport(const DfxmlReport&) = delete;
    DfxmlReport& operator=(const DfxmlReport&) = delete;

    // Creates the temporary file in path's folder and writes the report's head; the start time
    // is taken now. False (see problem()) when a file named path exists or the folder cannot
    // take the report.
    bool begin(const std::string& path, const ReportCreator& creator, const ReportSource& source);

    // Files added between these belong to the volume.
    void beginVolume(const ReportVolume& volume);
    void endVolume();

    // A file of a volume: `names` from the volume's root down to the file itself. Its byte
    // runs are the data's runs on the image (the reader's volume origin added).
    void addFile(const std::vector<std::string>& names, bool deleted, const FileData& data, const SaveReport& report);
    // What a save walk reports for a file, `base` being the names from the volume's root down
    // to the folder the walk started in.
    void addSaved(const std::vector<std::string>& base, const SavedFile& file);
    // A carved file: its bytes are the image range [imageOffset, imageOffset + length), which
    // is fsOffset within the range carved.
    void addCarved(const std::string& name, const std::string& category, uint64_t imageOffset, uint64_t fsOffset,
                   uint64_t length, const SaveReport& report);

    // Writes the summary (end time, outcome, counts) and gives the report its name. False (see
    // problem()) when anything could not be written or named; a report that was written whole
    // but could not take its name is kept under its temporary name, which problem() gives.
    bool finish(ReportOutcome outcome);

    bool ok() const;
    const std::string& problem() const;
    uint64_t fileCount() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

class FileReadSeek;

// The container format of the opened medium as reports name it ("raw" for a plain image or a
// device, "EWF", "VMDK", ... for a container).
std::string sourceFormatName(const FileReadSeek* reader);

// The ISO 8601 UTC form of a time in seconds since 1970 ("2024-05-01T12:00:00Z"); empty for
// times outside the years 1 to 9999.
std::string isoUtcTime(int64_t seconds);

// A command line as a shell would take it back: arguments joined by spaces, each one that a
// shell would split or expand in single quotes.
std::string shellCommandLine(const std::vector<std::string>& arguments);

// Text made safe for XML as the report writes it; `inName` also escapes "/".
std::string reportText(const std::string& text, bool inName = false);

}  // namespace quarvell
