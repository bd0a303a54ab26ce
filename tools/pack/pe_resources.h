// Adding one RT_RCDATA resource to a copy of a Windows executable, keeping
// all of its other resources. Works on the bytes alone, on any host.
#pragma once

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace pack {

// The stub is not an executable this code can extend; the text says why.
class StubError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes `stub` to `out` with `payload` as resource RT_RCDATA `id`
// (language neutral), replacing an RCDATA resource of that id if the stub
// has one. The resource tree is rebuilt with every other resource and its
// directory time stamps set to 0; it goes into the stub's resource section
// when that is the last section, else into a new last section. The stub's
// own header fields stay as they are, except those that describe the
// sections, the image size, the checksum (recomputed) and the signature
// entry (cleared, since no signature survives the change). Throws
// StubError for anything that is not a PE executable; stream failures are
// left to the caller to check.
void WriteStubWithResource(const std::vector<uint8_t>& stub, uint16_t id,
                           const std::vector<uint8_t>& payload, std::ostream& out);

}  // namespace pack
