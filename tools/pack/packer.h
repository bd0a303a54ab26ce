// Turning a project folder into a setup executable.
#pragma once

#include <filesystem>
#include <ostream>
#include <stdexcept>

namespace pack {

// Resource id of the payload archive in the runtime executable.
constexpr uint16_t kPayloadResourceId = 24356;

struct PackOptions {
    std::filesystem::path project;
    std::filesystem::path output;
    std::filesystem::path stub;
    bool showProgress = false;  // a bar on stderr while items are compressed
    bool quiet = false;         // no summary line
    unsigned jobs = 0;          // items compressed at once; 0: one per core
};

// A failure reported to the user as one line; the text names the file.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Packs the project into options.output. Warnings go to `diagnostics`, the
// summary to `summary`. Throws PackError; then no output file exists that
// was not there before, and an earlier one is left untouched.
void PackProject(const PackOptions& options, std::ostream& diagnostics, std::ostream& summary);

// How paths appear in messages.
std::string ShowPath(const std::filesystem::path& path);

}  // namespace pack
