// Turning a project folder into a setup executable.
#pragma once

#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>

#include "pack/archive_writer.h"

namespace pack {

struct PackOptions {
    std::filesystem::path project;
    std::filesystem::path output;
    std::filesystem::path stub;
    int level = kStrongestLevel;  // 1 (fastest) to 9 (smallest)
    bool strict = false;          // warnings about the script are errors
    bool showProgress = false;    // a bar on stderr while items are compressed
    bool quiet = false;           // no summary line
    unsigned jobs = 0;            // items compressed at once; 0: one per core
};

// A failure reported to the user as one line, in the form compilers use:
// "LOCATION: error: TEXT", where the location is a file, or a file and a
// line ("project/setup.dat:12"), or empty when no file is to blame.
class PackError : public std::runtime_error {
public:
    PackError(std::string location, const std::string& text)
        : std::runtime_error(text), location_(std::move(location)) {}

    const std::string& Location() const { return location_; }

private:
    std::string location_;
};

// Packs the project into options.output. Warnings go to `diagnostics` as
// "LOCATION: warning: TEXT" lines (or as errors, with options.strict), the
// summary to `summary`. Throws PackError; then no output file exists that
// was not there before, and an earlier one is left untouched.
void PackProject(const PackOptions& options, std::ostream& diagnostics, std::ostream& summary);

// How paths appear in messages.
std::string ShowPath(const std::filesystem::path& path);

}  // namespace pack
